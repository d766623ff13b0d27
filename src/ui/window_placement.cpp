#include "ui/window_placement.h"

#include <cctype>
#include <cstdio>
#include <limits>

namespace {
// One "%d": optional blanks, optional sign, at least one digit.
bool ReadNumber(const std::string& text, std::size_t& at, int& value)
{
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    const std::size_t digitsStart = at;
    long long magnitude = 0;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
        if (magnitude <= std::numeric_limits<int>::max())
            magnitude = magnitude * 10 + (text[at] - '0');
        ++at;
    }
    if (at == digitsStart)
        return false;
    long long signedValue = negative ? -magnitude : magnitude;
    if (signedValue > std::numeric_limits<int>::max())
        signedValue = std::numeric_limits<int>::max();
    if (signedValue < std::numeric_limits<int>::min())
        signedValue = std::numeric_limits<int>::min();
    value = static_cast<int>(signedValue);
    return true;
}
} // namespace

std::optional<CWindowPlacement> CWindowPlacement::Parse(const std::string& text)
{
    int values[6] = {};
    std::size_t at = 0;
    for (int i = 0; i < 6; ++i) {
        if (i > 0) {
            if (at >= text.size() || text[at] != ',')
                return std::nullopt;
            ++at;
        }
        if (!ReadNumber(text, at, values[i]))
            return std::nullopt;
    }
    return CWindowPlacement{values[0], values[1], values[2], values[3], values[4], values[5]};
}

std::string CWindowPlacement::Format() const
{
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%d,%d,%d,%d,%d,%d", m_nLeft, m_nTop, m_nRight, m_nBottom,
                  m_nShowCmd, m_nFlags);
    return buffer;
}
