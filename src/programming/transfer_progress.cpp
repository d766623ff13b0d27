#include "programming/transfer_progress.h"

#include <algorithm>
#include <cstdio>

namespace {
constexpr std::chrono::milliseconds kSampleGap{50};
constexpr std::chrono::milliseconds kMinSpan{100};
} // namespace

void CTransferProgress::Start(std::uint64_t total, Clock::time_point now, double lineRate)
{
    m_dLineRate = lineRate;
    m_nTotal = total;
    m_nSent = 0;
    m_tStart = now;
    m_tLastMove = now;
    m_bMoved = false;
    m_bFasterThanLine = false;
    m_bFinished = false;
    m_samples.clear();
}

void CTransferProgress::Finish(Clock::time_point now)
{
    if (m_bFinished)
        return;
    m_bFinished = true;
    m_tFinish = now;
}

void CTransferProgress::Update(std::uint64_t sent, Clock::time_point now)
{
    if (m_bFinished)
        return;
    if (m_nSent < m_nTotal)
        m_tRateAt = now;
    if (sent > m_nSent) {
        if (!m_bMoved)
            m_tFirstByte = now;
        m_bMoved = true;
        m_nSent = sent;
        m_tLastMove = now;
    }
    if (!m_bMoved || now - m_tFirstByte < kSettle)
        return;
    if (m_dLineRate > 0 && !m_bFasterThanLine
        && static_cast<double>(m_nSent) > m_dLineRate * std::chrono::duration<double>(m_tRateAt - m_tFirstByte).count()
                                               + static_cast<double>(kBurstBytes))
        m_bFasterThanLine = true;
    // Written whole: what the writes show from here on is not the line.
    if (m_nSent >= m_nTotal && m_samples.size() >= 2)
        return;
    // The rate's end point is the latest update itself, so updates within kSampleGap add none.
    if (!m_samples.empty() && now - m_samples.back().at < kSampleGap)
        return;
    m_samples.push_back({now, m_nSent});
    // Keep one sample at or before the window's start, so the window spans it whole.
    while (m_samples.size() > 2 && now - m_samples[1].at >= kWindow)
        m_samples.pop_front();
}

double CTransferProgress::BytesPerSecond() const
{
    return MeasuredRate().value_or(m_dLineRate);
}

std::optional<double> CTransferProgress::MeasuredRate() const
{
    if (m_bFinished) {
        // The whole run: what went from the first byte to the end.
        const double seconds = std::chrono::duration<double>(m_tFinish - m_tFirstByte).count();
        if (!m_bMoved || seconds <= 0)
            return std::nullopt;
        return static_cast<double>(m_nSent) / seconds;
    }
    if (m_dLineRate > 0 && !m_bFasterThanLine) {
        // Writes to a line of known speed come in bursts as a buffer on the way drains; what
        // went since the first byte, never above the line's rate, is the steady measure.
        const auto span = m_tRateAt - m_tFirstByte;
        if (!m_bMoved || span < kSettle)
            return std::nullopt;
        return std::min(m_dLineRate, static_cast<double>(m_nSent) / std::chrono::duration<double>(span).count());
    }
    if (m_samples.size() < 2)
        return std::nullopt;
    // From the window's first sample to the latest update.
    const CSample& first = m_samples.front();
    const auto span = m_tRateAt - first.at;
    if (span < kMinSpan || m_nSent == first.sent)
        return std::nullopt;
    return static_cast<double>(m_nSent - first.sent) / std::chrono::duration<double>(span).count();
}

std::optional<CTransferProgress::Clock::duration> CTransferProgress::TimeLeft(Clock::time_point now) const
{
    const double rate = BytesPerSecond();
    if (rate <= 0)
        return std::nullopt;
    // Bytes the line has not carried yet: those not written, or, when more is written than the
    // line can have carried since the first byte, everything beyond that.
    const double sinceFirst = m_bMoved ? std::chrono::duration<double>(now - m_tFirstByte).count() : 0.0;
    const double seconds = std::max({0.0, static_cast<double>(m_nTotal - m_nSent) / rate,
        static_cast<double>(m_nTotal) / rate - sinceFirst});
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

bool CTransferProgress::Stalled(Clock::time_point now) const
{
    return !m_bFinished && m_nSent < m_nTotal && now - m_tLastMove >= kStalledAfter;
}

std::string CTransferProgress::FormatDuration(Clock::duration duration)
{
    long long seconds = std::chrono::duration_cast<std::chrono::seconds>(duration + std::chrono::milliseconds(500)).count();
    if (seconds < 0)
        seconds = 0;
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    return text;
}

std::uint64_t CTransferProgress::NextPercentStep(std::uint64_t pos, std::uint64_t range)
{
    if (range == 0)
        return pos + 1;
    // The smallest q with q * 100 / range above pos * 100 / range.
    const std::uint64_t percent = pos * 100 / range;
    return ((percent + 1) * range + 99) / 100;
}

std::string CTransferProgress::Text(Clock::time_point now) const
{
    std::string text = std::to_string(m_nSent) + " of " + std::to_string(m_nTotal) + " bytes";
    if (Stalled(now))
        return text + ", " + FormatDuration(Elapsed(now))
            + " elapsed, the line is stalled (handshake held off or the board not reading)";
    static constexpr const char* kDash = "\u2014";
    const std::optional<double> rate = MeasuredRate();
    char figures[48];
    std::snprintf(figures, sizeof figures, ", %.0f bytes/s", rate.value_or(0));
    text += rate ? std::string(figures) : std::string(", ") + kDash + " bytes/s";
    text += ", " + FormatDuration(Elapsed(now)) + " elapsed";
    if (m_bFinished)
        return text;
    const auto left = rate ? TimeLeft(now) : std::nullopt;
    text += ", " + (left ? FormatDuration(*left) : std::string(kDash)) + " left";
    return text;
}
