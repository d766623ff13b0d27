// Command-line splitting and quoting: any text splits without a crash, and arguments quoted
// by QuoteIfBlank and joined with blanks split back into the same arguments. The input is the
// arguments, separated by NUL bytes; the first is the program. Quoting escapes nothing, so
// the property covers what it can carry: no double quote, no empty argument, and (after the
// program, where backslashes before a quote escape it) no backslash before a closing quote.

#include "files/command_line.h"
#include "fuzz_check.h"

#include <string>
#include <vector>

namespace {
bool HasBlank(const std::string& text)
{
    return text.find_first_of(" \t") != std::string::npos;
}

bool Quotable(const std::string& text, bool program)
{
    if (text.empty() || text.find('"') != std::string::npos)
        return false;
    return program || !(HasBlank(text) && text.back() == '\\');
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    SplitCommandLine(text);

    std::vector<std::string> args;
    std::size_t from = 0;
    while (from <= text.size()) {
        std::size_t to = text.find('\0', from);
        if (to == std::string::npos)
            to = text.size();
        args.push_back(text.substr(from, to - from));
        from = to + 1;
    }
    // The program alone, as the Build command quotes and splits the builder.
    if (Quotable(args[0], true))
        FUZZ_CHECK(SplitCommandLine(QuoteIfBlank(args[0])) == std::vector<std::string>{args[0]});

    std::string line;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (!Quotable(args[i], i == 0))
            return 0;
        line += (i == 0 ? "" : " ") + QuoteIfBlank(args[i]);
    }
    FUZZ_CHECK(SplitCommandLine(line) == args);
    return 0;
}
