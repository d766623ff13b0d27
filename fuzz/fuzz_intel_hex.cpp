// The Intel HEX checker against the simulated board's monitor: on every input they agree on
// accept or reject. The monitor reads a stream (a record ends after the digits its length
// asks for) and, back at its prompt after the end record, takes what follows as commands; the
// checker reads lines and wants one record per line and nothing but blank lines after the end
// record. Those two rules are the checker's on top of the board's, so the board's answer is
// taken together with them.

#include "fuzz_check.h"
#include "programming/intel_hex_checker.h"
#include "sim/board_monitor.h"

#include <string>
#include <string_view>
#include <vector>

namespace {
bool IsLineSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Every line, without blanks around it, is empty or one record: a ':' and no other.
bool OneRecordPerLine(std::string_view text)
{
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t to = text.find('\n', from);
        if (to == std::string_view::npos)
            to = text.size();
        std::string_view line = text.substr(from, to - from);
        from = to + 1;
        while (!line.empty() && IsLineSpace(line.front()))
            line.remove_prefix(1);
        while (!line.empty() && IsLineSpace(line.back()))
            line.remove_suffix(1);
        if (!line.empty() && (line.front() != ':' || line.find(':', 1) != std::string_view::npos))
            return false;
    }
    return true;
}

// The monitor after its download command: true when it sends its completion text before any
// error, and only line space follows the end record.
bool BoardAccepts(std::string_view text)
{
    CBoardMonitor monitor;
    std::vector<CBoardOutput> out;
    for (char c : std::string(board::kDefaultProgramCmd))
        monitor.Feed(static_cast<std::uint8_t>(c), out);
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        monitor.Feed(static_cast<std::uint8_t>(text[i]), out);
        for (const CBoardOutput& answer : out) {
            if (answer.m_eKind == EBoardAnswer::RecordError)
                return false;
            if (answer.m_eKind == EBoardAnswer::Completion) {
                for (char rest : text.substr(i + 1))
                    if (!IsLineSpace(rest))
                        return false;
                return OneRecordPerLine(text.substr(0, i + 1));
            }
        }
        out.clear();
    }
    return false;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CIntelHexChecker checker;
    const bool checked = checker.Check(text);
    FUZZ_CHECK(checked == checker.Fault().empty());
    FUZZ_CHECK(checked == (checker.FaultLine() == 0));
    FUZZ_CHECK(checked == BoardAccepts(text));
    if (checked && checker.DataBytes() != 0)
        FUZZ_CHECK(checker.LowAddress() <= checker.HighAddress());
    return 0;
}
