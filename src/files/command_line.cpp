#include "files/command_line.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

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

std::string ShellQuote(const std::string& text)
{
    const auto plain = [](unsigned char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c >= 0x80
            || std::string_view("@%+=:,./_-").find(static_cast<char>(c)) != std::string_view::npos;
    };
    if (!text.empty() && std::all_of(text.begin(), text.end(), [&](char c) { return plain(static_cast<unsigned char>(c)); }))
        return text;
    std::string quoted;
    bool open = false;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7f) {
            if (open)
                quoted += '\'';
            open = false;
            static const char* kEscapes[] = {"\\a", "\\b", "\\t", "\\n", "\\v", "\\f", "\\r"};
            char octal[8];
            std::snprintf(octal, sizeof octal, "\\%03o", c);
            quoted += "$'" + std::string(c >= 7 && c <= 13 ? kEscapes[c - 7] : octal) + "'";
            continue;
        }
        if (ch == '\'') {
            quoted += open ? "'\\'" : "\\'";
            open = false;
            continue;
        }
        if (!open)
            quoted += '\'';
        open = true;
        quoted += ch;
    }
    if (open)
        quoted += '\'';
    if (quoted.empty())
        quoted = "''";
    return quoted;
}

std::string ShellQuoteArgs(const std::vector<std::string>& args)
{
    std::string line;
    for (const std::string& arg : args)
        line += (line.empty() ? "" : " ") + ShellQuote(arg);
    return line;
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
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(setting, error);
    if (!setting.empty() && std::filesystem::exists(status) && !std::filesystem::is_directory(status))
        return {setting};
    return SplitCommandLine(setting);
}
