#include "programming/reset_sequence.h"

#include "serial/serial_port.h"

#include <cctype>
#include <charconv>

bool CResetSequence::Parse(const std::string& text, std::string& why)
{
    m_steps.clear();
    if (text.empty())
        return true;
    std::vector<CStep> steps;
    std::size_t from = 0;
    while (from <= text.size()) {
        std::size_t to = text.find(',', from);
        if (to == std::string::npos)
            to = text.size();
        std::string item = text.substr(from, to - from);
        from = to + 1;
        CStep step;
        std::string name = item;
        if (!name.empty() && name.front() == '-') {
            step.m_bRaise = false;
            name.erase(0, 1);
        }
        const std::size_t colon = name.find(':');
        const std::string pause = colon == std::string::npos ? std::string() : name.substr(colon + 1);
        name = name.substr(0, colon);
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (name == "dtr") {
            step.m_nLine = MODEM_DTR;
        } else if (name == "rts") {
            step.m_nLine = MODEM_RTS;
        } else {
            why = "--reset: '" + item + "' names no line (dtr or rts, '-' before it drops it, ':MS' after it pauses)";
            return false;
        }
        if (colon != std::string::npos) {
            unsigned value = 0;
            const auto [end, error] = std::from_chars(pause.data(), pause.data() + pause.size(), value);
            if (pause.empty() || error != std::errc() || end != pause.data() + pause.size() || value > kMaxPauseMs) {
                why = "--reset: '" + item + "' has no pause of 0 to " + std::to_string(kMaxPauseMs) + " ms";
                return false;
            }
            step.m_nPauseMs = value;
        }
        steps.push_back(step);
    }
    m_steps = std::move(steps);
    return true;
}

std::error_code CResetSequence::Apply(CSerialPort& port, const std::function<bool(unsigned ms)>& pause) const
{
    for (const CStep& step : m_steps) {
        if (const std::error_code code = step.m_nLine == MODEM_DTR ? port.SetDtr(step.m_bRaise) : port.SetRts(step.m_bRaise))
            return code;
        if (!pause(step.m_nPauseMs))
            break;
    }
    return {};
}
