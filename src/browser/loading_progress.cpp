#include "browser/loading_progress.h"

#include <algorithm>
#include <cmath>

void CLoadingProgress::SetLoadingProgress(int total, int count)
{
    m_nLoadTotal.store(total);
    m_nLoadCount.store(count);
    if (m_notify)
        m_notify();
}

void CLoadingProgress::AddLoadingProgress(int delta)
{
    m_nLoadCount.fetch_add(delta);
    if (m_notify)
        m_notify();
}

int CLoadingProgress::GetLoadingProgress(int* pTotal) const
{
    if (pTotal != nullptr)
        *pTotal = m_nLoadTotal.load();
    return m_nLoadCount.load();
}

int LoadingBarWidth(int total, int count)
{
    if (count <= 0)
        return 0;
    if (total >= 1)
        return static_cast<int>(std::min<long long>(static_cast<long long>(count) * kLoadingBarWidth / total,
                                                    kLoadingBarWidth));
    // 50 * (1 - ln(1 + (e^2 - 1) * e^(-0.4 n)) / 2): the form that stays finite for large n.
    const double e2 = std::exp(2.0);
    const double w = kLoadingBarWidth * (1.0 - 0.5 * std::log1p((e2 - 1.0) * std::exp(-0.4 * count)));
    // The curve stays below 50 for every count; rounding must not let it reach the full bar.
    return std::clamp(static_cast<int>(std::floor(w)), 0, kLoadingBarWidth - 1);
}
