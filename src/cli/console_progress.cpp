#include "cli/console_progress.h"

#include "cli/console_stream.h"

#include <string>

namespace {
constexpr int kWidth = 40;
}

CConsoleProgress::CConsoleProgress(std::FILE* out)
    : m_pOut(out), m_bEnabled(IsTerminalStream(out))
{
}

void CConsoleProgress::Begin(std::uint64_t range)
{
    std::lock_guard lock(m_mutex);
    m_nRange = range;
    m_nPos = 0;
    m_strFigures.clear();
    m_nShownPercent = -1;
    Draw();
}

void CConsoleProgress::Step()
{
    std::lock_guard lock(m_mutex);
    if (m_nPos < m_nRange)
        ++m_nPos;
    Draw();
}

void CConsoleProgress::Show(std::uint64_t pos, const std::string& figures)
{
    std::lock_guard lock(m_mutex);
    m_nPos = pos < m_nRange ? pos : m_nRange;
    if (m_nRange == 0)
        return;
    const auto now = std::chrono::steady_clock::now();
    const bool newPercent = static_cast<int>(m_nPos * 100 / m_nRange) != m_nShownPercent;
    if (!newPercent && (figures == m_strFigures || now - m_tFiguresShown < std::chrono::milliseconds(kFiguresMs)))
        return;
    m_strFigures = figures;
    m_tFiguresShown = now;
    m_nShownPercent = -1;
    Draw();
}

void CConsoleProgress::Draw()
{
    if (!m_bEnabled || m_nRange == 0)
        return;
    const int percent = static_cast<int>(m_nPos * 100 / m_nRange);
    if (percent == m_nShownPercent)
        return;
    m_nShownPercent = percent;
    const int filled = percent * kWidth / 100;
    std::string bar = "\r\033[K[" + std::string(static_cast<std::size_t>(filled), '#')
        + std::string(static_cast<std::size_t>(kWidth - filled), '-') + "] " + std::to_string(percent) + "%";
    if (!m_strFigures.empty())
        bar += " " + m_strFigures;
    std::fputs(bar.c_str(), m_pOut);
    std::fflush(m_pOut);
    m_bShown = true;
}

void CConsoleProgress::Clear()
{
    std::lock_guard lock(m_mutex);
    ClearLine();
    std::fflush(m_pOut);
}

void CConsoleProgress::WriteOver(const std::string& text)
{
    std::lock_guard lock(m_mutex);
    ClearLine();
    std::fputs(text.c_str(), m_pOut);
    std::fflush(m_pOut);
}

void CConsoleProgress::ClearLine()
{
    if (!m_bShown)
        return;
    std::fputs("\r\033[K", m_pOut);
    m_bShown = false;
    m_nShownPercent = -1;
}
