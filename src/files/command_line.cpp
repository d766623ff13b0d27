#include "files/command_line.h"

#include <sys/stat.h>

namespace {
bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}
} // namespace

std::vector<std::string> SplitCommandLine(std::string_view line)
{
    std::vector<std::string> args;
    std::size_t i = 0;
    const std::size_t n = line.size();
    while (i < n && IsBlank(line[i]))
        ++i;
    if (i == n)
        return args;

    // The program: quotes group, backslashes are literal.
    {
        std::string arg;
        bool quoted = false;
        while (i < n && (quoted || !IsBlank(line[i]))) {
            if (line[i] == '"')
                quoted = !quoted;
            else
                arg += line[i];
            ++i;
        }
        args.push_back(std::move(arg));
    }

    for (;;) {
        while (i < n && IsBlank(line[i]))
            ++i;
        if (i == n)
            break;
        std::string arg;
        bool quoted = false;
        while (i < n && (quoted || !IsBlank(line[i]))) {
            char c = line[i];
            if (c == '\\') {
                std::size_t count = 0;
                while (i < n && line[i] == '\\') {
                    ++count;
                    ++i;
                }
                if (i < n && line[i] == '"') {
                    arg.append(count / 2, '\\');
                    if (count % 2 == 1) {
                        arg += '"';
                        ++i;
                    }
                    // An even count leaves the quote to the next round, where it groups.
                } else {
                    arg.append(count, '\\');
                }
                continue;
            }
            if (c == '"') {
                if (quoted && i + 1 < n && line[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            arg += c;
            ++i;
        }
        args.push_back(std::move(arg));
    }
    return args;
}

std::string QuoteIfBlank(const std::string& text)
{
    // A tab separates arguments as a blank does.
    if (text.find_first_of(" \t") == std::string::npos)
        return text;
    return '"' + text + '"';
}

std::string PathRemoveExtension(const std::string& path)
{
    std::size_t nameStart = path.find_last_of('/');
    nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
    std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart)
        return path;
    return path.substr(0, dot);
}

std::vector<std::string> ToolArguments(const std::string& setting)
{
    struct stat st {};
    if (!setting.empty() && stat(setting.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
        return {setting};
    return SplitCommandLine(setting);
}
