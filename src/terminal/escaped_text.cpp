#include "terminal/escaped_text.h"

namespace {
int HexValue(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

std::string Column(std::size_t at)
{
    return std::to_string(at + 1);
}
} // namespace

CEscapedText::CResult CEscapedText::Parse(std::string_view text)
{
    CResult result;
    result.m_strBytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch != '\\') {
            result.m_strBytes += ch;
            continue;
        }
        if (i + 1 == text.size()) {
            result.m_strError = "The line ends with a lone \\ (column " + Column(i) + "); write \\\\ for a backslash.";
            break;
        }
        const char what = text[i + 1];
        switch (what) {
        case 'r': result.m_strBytes += '\r'; break;
        case 'n': result.m_strBytes += '\n'; break;
        case 't': result.m_strBytes += '\t'; break;
        case '\\': result.m_strBytes += '\\'; break;
        case 'x': {
            const int high = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
            const int low = i + 3 < text.size() ? HexValue(text[i + 3]) : -1;
            if (high < 0 || low < 0) {
                result.m_strError = "The escape " + std::string(text.substr(i, 4)) + " at column " + Column(i) +
                                    " needs two hex digits after \\x.";
                break;
            }
            result.m_strBytes += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default:
            result.m_strError = "Unknown escape \\" + std::string(1, what) + " at column " + Column(i) +
                                ": use \\xHH, \\r, \\n, \\t or \\\\.";
            break;
        }
        if (!result.m_strError.empty())
            break;
        ++i;
    }
    if (!result.m_strError.empty())
        result.m_strBytes.clear();
    return result;
}
