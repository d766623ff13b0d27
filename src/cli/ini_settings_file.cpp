#include "cli/ini_settings_file.h"

#include "base/text_codec.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace {
std::string Trim(const std::string& text)
{
    const char* blanks = " \t\r\n";
    std::size_t begin = text.find_first_not_of(blanks);
    if (begin == std::string::npos)
        return {};
    std::size_t end = text.find_last_not_of(blanks);
    return text.substr(begin, end - begin + 1);
}

void AppendUtf8(std::string& out, unsigned long code)
{
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        code &= 0xFFFF;
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}
} // namespace

void CIniSettingsFile::LoadProgramSettings(CMemorySettingsStore& store)
{
    CIniSettingsFile ini;
    const std::string path = DefaultPath();
    if (!ini.Load(path))
        std::fprintf(stderr, "qxprog: cannot read %s; using the default settings\n", path.c_str());
    ini.CopyGroup("Settings", store);
}

std::string CIniSettingsFile::DefaultPath()
{
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home ? home : "") + "/.config";
    }
    return base + "/Quillorex/Quillorex Programmer.conf";
}

bool CIniSettingsFile::Load(const std::string& path)
{
    m_groups.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return errno == ENOENT;
    std::string group = "General";
    std::string line;
    while (std::getline(in, line)) {
        std::string text = Trim(line);
        if (text.empty() || text[0] == ';' || text[0] == '#')
            continue;
        if (text.front() == '[' && text.back() == ']') {
            group = UnescapeKey(text.substr(1, text.size() - 2));
            continue;
        }
        std::size_t equals = text.find('=');
        if (equals == std::string::npos)
            continue;
        m_groups[group][UnescapeKey(Trim(text.substr(0, equals)))] = UnescapeValue(Trim(text.substr(equals + 1)));
    }
    return !in.bad();
}

std::map<std::string, std::string> CIniSettingsFile::Group(const std::string& name) const
{
    auto it = m_groups.find(name);
    return it == m_groups.end() ? std::map<std::string, std::string>() : it->second;
}

void CIniSettingsFile::CopyGroup(const std::string& name, ISettingsStore& store) const
{
    for (const auto& [key, value] : Group(name))
        store.WriteString(key, value);
}

std::string CIniSettingsFile::UnescapeKey(const std::string& text)
{
    return PercentDecode(text, '/');
}

std::string CIniSettingsFile::UnescapeValue(const std::string& text)
{
    std::vector<std::string> items(1);
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        std::string& out = items.back();
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (c == ',' && !quoted) {
            items.emplace_back();
            continue;
        }
        if (c != '\\' || i + 1 >= text.size()) {
            out.push_back(c);
            continue;
        }
        char e = text[++i];
        switch (e) {
        case 'a': out.push_back('\a'); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        case 'v': out.push_back('\v'); break;
        case 'x': {
            unsigned long code = 0;
            while (i + 1 < text.size() && HexDigitValue(text[i + 1]) >= 0)
                code = code * 16 + static_cast<unsigned long>(HexDigitValue(text[++i]));
            AppendUtf8(out, code);
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                unsigned long code = static_cast<unsigned long>(e - '0');
                while (i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '7')
                    code = code * 8 + static_cast<unsigned long>(text[++i] - '0');
                AppendUtf8(out, code);
            } else {
                out.push_back(e); // \" \\ \' \? and anything else stand for themselves
            }
            break;
        }
    }
    std::string value;
    for (std::size_t i = 0; i < items.size(); ++i) {
        std::string item = items[i];
        if (items.size() > 1)
            item = Trim(item);
        value += (i ? ", " : "") + item;
    }
    if (value.rfind("@@", 0) == 0)
        value.erase(0, 1);
    return value;
}
