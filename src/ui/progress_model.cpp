#include "ui/progress_model.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace {
// Two's-complement wrap, as the 32-bit message arithmetic does, without signed overflow.
int WrappingAdd(int a, int b)
{
    return static_cast<int>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

// Truncates toward zero; values beyond int (a position far outside a tiny range) saturate.
int TruncateToInt(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (value <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(std::trunc(value));
}

int ClampedAdd(int a, int b)
{
    const long long sum = static_cast<long long>(a) + b;
    if (sum > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (sum < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(sum);
}
} // namespace

void CProgressModel::SetRange(std::uint32_t packed)
{
    m_nMin = static_cast<int>(packed & 0xFFFFu);
    m_nMax = static_cast<int>((packed >> 16) & 0xFFFFu);
}

void CProgressModel::SetRange32(int low, int high)
{
    m_nMin = low;
    m_nMax = high;
}

int CProgressModel::GetRange(bool wantLow, int* low, int* high) const
{
    if (low)
        *low = m_nMin;
    if (high)
        *high = m_nMax;
    return wantLow ? m_nMin : m_nMax;
}

int CProgressModel::SetStep(int step)
{
    const int old = m_nStep;
    m_nStep = step;
    return old;
}

CProgressModel::CPosResult CProgressModel::SetPos(int pos, int length)
{
    CPosResult result;
    result.m_nOldPos = m_nPos;
    m_nPos = pos;
    if (EmptyRange())
        return result;
    const int barLength = BarLength(length);
    if (barLength != m_nBarLength) {
        m_nBarLength = barLength;
        result.m_bRepaint = true;
    }
    return result;
}

CProgressModel::CPosResult CProgressModel::DeltaPos(int delta, int length)
{
    return SetPos(WrappingAdd(m_nPos, delta), length);
}

CProgressModel::CPosResult CProgressModel::StepIt(int length)
{
    return SetPos(WrappingAdd(m_nPos, m_nStep), length);
}

double CProgressModel::Fraction() const
{
    if (EmptyRange())
        return 0.0;
    return (static_cast<double>(m_nPos) - m_nMin) / (static_cast<double>(m_nMax) - m_nMin);
}

int CProgressModel::BarLength(int length) const
{
    return TruncateToInt(Fraction() * length);
}

CProgressModel::CSplit CProgressModel::Split(const CAnchorRect& client, bool vertical) const
{
    CSplit split{client, client};
    if (vertical) {
        const int cut = ClampedAdd(client.bottom, -TruncateToInt(client.Height() * Fraction()));
        split.m_filled.top = cut;
        split.m_empty.bottom = cut;
    } else {
        const int cut = ClampedAdd(client.left, TruncateToInt(client.Width() * Fraction()));
        split.m_filled.right = cut;
        split.m_empty.left = cut;
    }
    return split;
}

std::string CProgressModel::Text(const std::string& caption) const
{
    if (!caption.empty())
        return caption;
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%d%%", TruncateToInt(Fraction() * 100.0));
    return buffer;
}
