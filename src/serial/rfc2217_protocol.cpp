#include "serial/rfc2217_protocol.h"

#include "serial/serial_port.h"

namespace {

constexpr std::uint8_t kLineStateOverrun = 0x02;
constexpr std::uint8_t kLineStateParity = 0x04;
constexpr std::uint8_t kLineStateFraming = 0x08;
constexpr std::uint8_t kLineStateBreak = 0x10;
constexpr std::uint8_t kModemDeltaCts = 0x01;
constexpr std::uint8_t kModemDeltaDsr = 0x02;
constexpr std::uint8_t kModemRingEdge = 0x04;
constexpr std::uint8_t kModemDeltaCd = 0x08;
constexpr std::uint8_t kModemCts = 0x10;
constexpr std::uint8_t kModemDsr = 0x20;
constexpr std::uint8_t kModemRing = 0x40;
constexpr std::uint8_t kModemCd = 0x80;

constexpr std::uint8_t kOptions[] = {CRfc2217Protocol::kOptionBinary, CRfc2217Protocol::kOptionSuppressGoAhead,
    CRfc2217Protocol::kOptionComPort};

void AppendVerb(std::uint8_t verb, std::uint8_t option, std::string& out)
{
    out += static_cast<char>(CRfc2217Protocol::kIac);
    out += static_cast<char>(verb);
    out += static_cast<char>(option);
}

// The wire's codes of parity and stop bits.
std::uint8_t ParityCode(EParity parity)
{
    switch (parity) {
    case EParity::Odd: return 2;
    case EParity::Even: return 3;
    case EParity::Mark: return 4;
    case EParity::Space: return 5;
    case EParity::None: break;
    }
    return 1;
}

std::uint8_t StopCode(EStopBits stop)
{
    switch (stop) {
    case EStopBits::Two: return 2;
    case EStopBits::OneAndHalf: return 3;
    case EStopBits::One: break;
    }
    return 1;
}

} // namespace

int CRfc2217Protocol::LocalIndex(std::uint8_t option)
{
    switch (option) {
    case kOptionBinary: return static_cast<int>(kBinaryIndex);
    case kOptionSuppressGoAhead: return static_cast<int>(kSgaIndex);
    case kOptionComPort: return static_cast<int>(kComPortIndex);
    default: return -1;
    }
}

int CRfc2217Protocol::RemoteIndex(std::uint8_t option)
{
    switch (option) {
    case kOptionBinary: return static_cast<int>(kBinaryIndex);
    case kOptionSuppressGoAhead: return static_cast<int>(kSgaIndex);
    default: return -1; // the server's echo among them: the line's bytes must come back unchanged
    }
}

void CRfc2217Protocol::Start(std::string& out)
{
    // kOptions is in the order of m_local; the first two are asked of the server too.
    for (std::size_t index = 0; index < m_local.size(); ++index) {
        AppendVerb(kWill, kOptions[index], out);
        m_local[index] = EOption::Requested;
        if (index < m_remote.size()) {
            AppendVerb(kDo, kOptions[index], out);
            m_remote[index] = EOption::Requested;
        }
    }
}

void CRfc2217Protocol::AppendData(const void* bytes, std::size_t size, std::string& out)
{
    const auto* in = static_cast<const std::uint8_t*>(bytes);
    const std::uint8_t* end = in + size;
    while (in < end) {
        // Runs without 0xFF go in one piece.
        const std::uint8_t* run = in;
        while (run < end && *run != kIac)
            ++run;
        out.append(reinterpret_cast<const char*>(in), static_cast<std::size_t>(run - in));
        if (run < end) {
            out += static_cast<char>(kIac);
            out += static_cast<char>(kIac);
            ++run;
        }
        in = run;
    }
}

void CRfc2217Protocol::Receive(const std::uint8_t* bytes, std::size_t size, std::string& data, std::string& out)
{
    const std::uint8_t* end = bytes + size;
    for (const std::uint8_t* at = bytes; at < end; ++at) {
        const std::uint8_t ch = *at;
        switch (m_eState) {
        case EState::Data: {
            const std::uint8_t* run = at;
            while (run < end && *run != kIac)
                ++run;
            data.append(reinterpret_cast<const char*>(at), static_cast<std::size_t>(run - at));
            if (run == end)
                return;
            at = run;
            m_eState = EState::Iac;
            break;
        }
        case EState::Iac:
            if (ch == kIac) {
                data += static_cast<char>(kIac);
                m_eState = EState::Data;
            } else if (ch >= kWill) {
                m_nVerb = ch;
                m_eState = EState::Verb;
            } else if (ch == kSb) {
                m_strSub.clear();
                m_bSubOverflow = false;
                m_eState = EState::Sub;
            } else {
                m_eState = EState::Data; // NOP, go-ahead, data mark and the like carry nothing here
            }
            break;
        case EState::Verb:
            OnVerb(m_nVerb, ch, out);
            m_eState = EState::Data;
            break;
        case EState::Sub:
            if (ch == kIac)
                m_eState = EState::SubIac;
            else if (m_strSub.size() < kMaxSub)
                m_strSub += static_cast<char>(ch);
            else
                m_bSubOverflow = true;
            break;
        case EState::SubIac:
            if (ch == kIac) {
                if (m_strSub.size() < kMaxSub)
                    m_strSub += static_cast<char>(ch);
                m_eState = EState::Sub;
            } else {
                if (ch == kSe && !m_bSubOverflow)
                    OnSubnegotiation();
                m_eState = EState::Data;
            }
            break;
        }
    }
}

void CRfc2217Protocol::OnVerb(std::uint8_t verb, std::uint8_t option, std::string& out)
{
    if (verb == kDo || verb == kDont) {
        const int index = LocalIndex(option);
        if (index < 0) {
            if (verb == kDo)
                AppendVerb(kWont, option, out);
            return;
        }
        EOption& state = m_local[static_cast<std::size_t>(index)];
        const EOption was = state;
        if (verb == kDo) {
            state = EOption::On;
            if (was != EOption::Requested && was != EOption::On)
                AppendVerb(kWill, option, out);
            if (was != EOption::On && option == kOptionComPort)
                OnComPortAccepted(out);
        } else {
            state = EOption::Off;
            if (was == EOption::On)
                AppendVerb(kWont, option, out);
        }
        return;
    }
    const int index = RemoteIndex(option);
    if (index < 0) {
        if (verb == kWill)
            AppendVerb(kDont, option, out);
        return;
    }
    EOption& state = m_remote[static_cast<std::size_t>(index)];
    const EOption was = state;
    if (verb == kWill) {
        state = EOption::On;
        if (was != EOption::Requested && was != EOption::On)
            AppendVerb(kDo, option, out);
    } else {
        state = EOption::Off;
        if (was == EOption::On)
            AppendVerb(kDont, option, out);
    }
}

void CRfc2217Protocol::OnComPortAccepted(std::string& out)
{
    SendByteSub(kSetLineStateMask, kLineStateOverrun | kLineStateParity | kLineStateFraming | kLineStateBreak, out);
    SendByteSub(kSetModemStateMask, 0xFF, out);
    // Value 0 asks for the setting the server holds.
    const std::uint8_t zero[4] = {0, 0, 0, 0};
    SendSub(kSetBaudRate, zero, 4, out);
    SendByteSub(kSetDataSize, 0, out);
    m_nDataSizeAckAt = ++m_nDataSizeRequests;
    SendByteSub(kSetParity, 0, out);
    SendByteSub(kSetStopSize, 0, out);
    SendByteSub(kSetControl, 0, out);
    m_nPending |= kAckLine;
}

void CRfc2217Protocol::OnSubnegotiation()
{
    if (m_strSub.size() < 2 || static_cast<std::uint8_t>(m_strSub[0]) != kOptionComPort)
        return;
    const auto command = static_cast<std::uint8_t>(m_strSub[1]);
    const std::string value = m_strSub.substr(2);
    if (command <= kServerOffset || value.empty())
        return;
    const auto first = static_cast<std::uint8_t>(value[0]);
    switch (command - kServerOffset) {
    case kSetBaudRate:
        if (value.size() >= 4) {
            const std::uint32_t baud = (static_cast<std::uint32_t>(first) << 24)
                | (static_cast<std::uint32_t>(static_cast<std::uint8_t>(value[1])) << 16)
                | (static_cast<std::uint32_t>(static_cast<std::uint8_t>(value[2])) << 8)
                | static_cast<std::uint8_t>(value[3]);
            if (baud != 0)
                m_line.m_nBaud = baud;
            m_nPending &= ~kAckBaud;
        }
        break;
    case kSetDataSize:
        // A barrier's answer before the setting's says nothing of the setting.
        if (++m_nDataSizeAnswers < m_nDataSizeAckAt)
            break;
        if (first >= 5 && first <= 8)
            m_line.m_nDataBits = first;
        m_nPending &= ~kAckDataSize;
        break;
    case kSetParity:
        if (first >= 1 && first <= 5) {
            static constexpr EParity kParities[] = {EParity::None, EParity::Odd, EParity::Even, EParity::Mark, EParity::Space};
            m_line.m_eParity = kParities[first - 1];
        }
        m_nPending &= ~kAckParity;
        break;
    case kSetStopSize:
        if (first >= 1 && first <= 3) {
            static constexpr EStopBits kStops[] = {EStopBits::One, EStopBits::Two, EStopBits::OneAndHalf};
            m_line.m_eStopBits = kStops[first - 1];
        }
        m_nPending &= ~kAckStopSize;
        break;
    case kSetControl:
        if (first >= kControlFlowNone && first <= kControlFlowHardware) {
            static constexpr EHandshake kFlows[] = {EHandshake::None, EHandshake::Software, EHandshake::Hardware};
            m_line.m_eHandshake = kFlows[first - 1];
            m_nPending &= ~kAckFlow;
        } else if (first == kControlBreakOn || first == kControlBreakOff) {
            m_nBreakAck = first;
            m_nPending &= ~kAckBreak;
        } else if (first == kControlDtrOn || first == kControlDtrOff) {
            m_nDtrAck = first;
            m_nPending &= ~kAckDtr;
        } else if (first == kControlRtsOn || first == kControlRtsOff) {
            m_nRtsAck = first;
            m_nPending &= ~kAckRts;
        }
        break;
    case kNotifyLineState:
        if (first & kLineStateOverrun)
            m_nLineErrors |= line_error::kOverrun;
        if (first & kLineStateParity)
            m_nLineErrors |= line_error::kRxParity;
        if (first & kLineStateFraming)
            m_nLineErrors |= line_error::kFrame;
        if (first & (kLineStateOverrun | kLineStateParity | kLineStateFraming))
            m_nLineEvents |= line_event::kErr;
        if (first & kLineStateBreak) {
            m_nLineErrors |= line_error::kBreak;
            m_nLineEvents |= line_event::kBreak;
        }
        break;
    case kNotifyModemState:
        m_nModemLines = (first & kModemCts ? MODEM_CTS : 0u) | (first & kModemDsr ? MODEM_DSR : 0u)
            | (first & kModemRing ? MODEM_RING : 0u) | (first & kModemCd ? MODEM_DCD : 0u);
        m_nLineEvents |= (first & kModemDeltaCts ? line_event::kCts : 0u) | (first & kModemDeltaDsr ? line_event::kDsr : 0u)
            | (first & kModemRingEdge ? line_event::kRing : 0u) | (first & kModemDeltaCd ? line_event::kRlsd : 0u);
        break;
    case kPurgeData:
        m_nPending &= ~kAckPurge;
        break;
    default:
        break;
    }
}

void CRfc2217Protocol::SendSub(std::uint8_t command, const std::uint8_t* value, std::size_t size, std::string& out)
{
    out += static_cast<char>(kIac);
    out += static_cast<char>(kSb);
    out += static_cast<char>(kOptionComPort);
    out += static_cast<char>(command);
    AppendData(value, size, out);
    out += static_cast<char>(kIac);
    out += static_cast<char>(kSe);
}

void CRfc2217Protocol::SendByteSub(std::uint8_t command, std::uint8_t value, std::string& out)
{
    SendSub(command, &value, 1, out);
}

void CRfc2217Protocol::RequestLine(const CLineConfig& line, std::string& out)
{
    const std::uint8_t baud[4] = {static_cast<std::uint8_t>(line.m_nBaud >> 24), static_cast<std::uint8_t>(line.m_nBaud >> 16),
        static_cast<std::uint8_t>(line.m_nBaud >> 8), static_cast<std::uint8_t>(line.m_nBaud)};
    SendSub(kSetBaudRate, baud, 4, out);
    SendByteSub(kSetDataSize, static_cast<std::uint8_t>(line.m_nDataBits), out);
    m_nDataSizeAckAt = ++m_nDataSizeRequests;
    SendByteSub(kSetParity, ParityCode(line.m_eParity), out);
    SendByteSub(kSetStopSize, StopCode(line.m_eStopBits), out);
    const std::uint8_t flow = line.m_eHandshake == EHandshake::Hardware ? kControlFlowHardware
        : line.m_eHandshake == EHandshake::Software                   ? kControlFlowSoftware
                                                                       : kControlFlowNone;
    SendByteSub(kSetControl, flow, out);
    m_nPending |= kAckLine;
}

void CRfc2217Protocol::RequestControl(std::uint8_t value, std::string& out)
{
    SendByteSub(kSetControl, value, out);
    if (value >= kControlFlowNone && value <= kControlFlowHardware)
        m_nPending |= kAckFlow;
    else if (value == kControlBreakOn || value == kControlBreakOff)
        m_nPending |= kAckBreak;
    else if (value == kControlDtrOn || value == kControlDtrOff)
        m_nPending |= kAckDtr;
    else if (value == kControlRtsOn || value == kControlRtsOff)
        m_nPending |= kAckRts;
}

std::uint64_t CRfc2217Protocol::RequestBarrier(std::string& out)
{
    SendByteSub(kSetDataSize, 0, out);
    return ++m_nDataSizeRequests;
}

void CRfc2217Protocol::RequestPurgeReceived(std::string& out)
{
    SendByteSub(kPurgeData, kPurgeReceived, out);
    m_nPending |= kAckPurge;
}

bool CRfc2217Protocol::NegotiationAnswered() const
{
    for (EOption state : m_local)
        if (state == EOption::Requested)
            return false;
    for (EOption state : m_remote)
        if (state == EOption::Requested)
            return false;
    return true;
}

std::uint32_t CRfc2217Protocol::TakeLineErrors()
{
    const std::uint32_t errors = m_nLineErrors;
    m_nLineErrors = 0;
    return errors;
}

std::uint32_t CRfc2217Protocol::TakeLineEvents()
{
    const std::uint32_t events = m_nLineEvents;
    m_nLineEvents = 0;
    return events;
}

CRfc2217Protocol::EOption CRfc2217Protocol::Local(std::uint8_t option) const
{
    const int index = LocalIndex(option);
    return index < 0 ? EOption::Off : m_local[static_cast<std::size_t>(index)];
}

CRfc2217Protocol::EOption CRfc2217Protocol::Remote(std::uint8_t option) const
{
    const int index = RemoteIndex(option);
    return index < 0 ? EOption::Off : m_remote[static_cast<std::size_t>(index)];
}

std::string CRfc2217Protocol::AgreedText() const
{
    std::string text;
    auto add = [&text](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
    auto both = [&](std::uint8_t option, const char* name) {
        const bool local = Local(option) == EOption::On;
        const bool remote = Remote(option) == EOption::On;
        if (local && remote)
            add(std::string(name) + " both ways");
        else if (local || remote)
            add(std::string(name) + (local ? " to the server" : " from the server"));
    };
    both(kOptionBinary, "BINARY");
    both(kOptionSuppressGoAhead, "SUPPRESS-GO-AHEAD");
    if (ComPortAccepted())
        add("COM-PORT-OPTION");
    return text.empty() ? "none" : text;
}
