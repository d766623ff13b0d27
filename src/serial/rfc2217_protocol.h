#pragma once
// CRfc2217Protocol: the client side of Telnet with the Com Port Control option (RFC 2217), as
// bytes in and bytes out, without sockets: what to send after connecting, the received stream
// split into the line's data and the server's commands (answered where Telnet wants an answer),
// 0xFF doubled in data sent and undoubled in data received, line settings and modem lines asked
// for and the server's acknowledgements kept. A command split between two receives is taken up
// where it stopped. One owner thread (the remote backend calls it under its own lock).

#include "base/line_config.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class CRfc2217Protocol {
public:
    // Telnet's bytes and the options this client speaks.
    static constexpr std::uint8_t kIac = 255;
    static constexpr std::uint8_t kDont = 254;
    static constexpr std::uint8_t kDo = 253;
    static constexpr std::uint8_t kWont = 252;
    static constexpr std::uint8_t kWill = 251;
    static constexpr std::uint8_t kSb = 250;
    static constexpr std::uint8_t kSe = 240;
    static constexpr std::uint8_t kOptionBinary = 0;
    static constexpr std::uint8_t kOptionEcho = 1;
    static constexpr std::uint8_t kOptionSuppressGoAhead = 3;
    static constexpr std::uint8_t kOptionComPort = 44;

    // The client's Com Port commands; the server answers each with the number + 100.
    static constexpr std::uint8_t kSetBaudRate = 1;
    static constexpr std::uint8_t kSetDataSize = 2;
    static constexpr std::uint8_t kSetParity = 3;
    static constexpr std::uint8_t kSetStopSize = 4;
    static constexpr std::uint8_t kSetControl = 5;
    static constexpr std::uint8_t kNotifyLineState = 6;
    static constexpr std::uint8_t kNotifyModemState = 7;
    static constexpr std::uint8_t kSetLineStateMask = 10;
    static constexpr std::uint8_t kSetModemStateMask = 11;
    static constexpr std::uint8_t kPurgeData = 12;
    static constexpr std::uint8_t kServerOffset = 100;

    // SET-CONTROL values.
    static constexpr std::uint8_t kControlFlowNone = 1;
    static constexpr std::uint8_t kControlFlowSoftware = 2;
    static constexpr std::uint8_t kControlFlowHardware = 3;
    static constexpr std::uint8_t kControlBreakOn = 5;
    static constexpr std::uint8_t kControlBreakOff = 6;
    static constexpr std::uint8_t kControlDtrOn = 8;
    static constexpr std::uint8_t kControlDtrOff = 9;
    static constexpr std::uint8_t kControlRtsOn = 11;
    static constexpr std::uint8_t kControlRtsOff = 12;
    // PURGE-DATA: the server's buffer of what the line received.
    static constexpr std::uint8_t kPurgeReceived = 1;

    // Acknowledgements a request waits for (PendingAcks).
    static constexpr std::uint32_t kAckBaud = 0x001;
    static constexpr std::uint32_t kAckDataSize = 0x002;
    static constexpr std::uint32_t kAckParity = 0x004;
    static constexpr std::uint32_t kAckStopSize = 0x008;
    static constexpr std::uint32_t kAckFlow = 0x010;
    static constexpr std::uint32_t kAckDtr = 0x020;
    static constexpr std::uint32_t kAckRts = 0x040;
    static constexpr std::uint32_t kAckBreak = 0x080;
    static constexpr std::uint32_t kAckPurge = 0x100;
    static constexpr std::uint32_t kAckLine = kAckBaud | kAckDataSize | kAckParity | kAckStopSize | kAckFlow;

    // What became of one side of an option.
    enum class EOption : std::uint8_t { Unasked, Requested, On, Off };

    // The negotiation to send after connecting: BINARY and SUPPRESS-GO-AHEAD both ways and
    // COM-PORT-OPTION. Once the server accepts the last, the masks for line and modem state
    // notices and a query of each line setting follow by themselves.
    void Start(std::string& out);
    // Takes received bytes: the line's data is appended to data, answers to out.
    void Receive(const std::uint8_t* bytes, std::size_t size, std::string& data, std::string& out);
    // The line's bytes as Telnet carries them (0xFF doubled).
    static void AppendData(const void* bytes, std::size_t size, std::string& out);

    // Asks for the whole line; each part then waits for its acknowledgement.
    void RequestLine(const CLineConfig& line, std::string& out);
    // Asks for one SET-CONTROL value (flow, break, DTR, RTS) and waits for its acknowledgement.
    void RequestControl(std::uint8_t value, std::string& out);
    // Asks the server to drop what the line received and it still holds.
    void RequestPurgeReceived(std::string& out);
    // Asks the server for its data size (a query that changes nothing) and returns the query's
    // number: a server answers in the order it reads, so once BarrierAnswers() reaches it, the
    // server has taken every byte sent before it.
    std::uint64_t RequestBarrier(std::string& out);
    std::uint64_t BarrierAnswers() const { return m_nDataSizeAnswers; }

    // The server agreed to COM-PORT-OPTION (DO 44); refused it (DONT 44).
    bool ComPortAccepted() const { return m_local[kComPortIndex] == EOption::On; }
    bool ComPortRefused() const { return m_local[kComPortIndex] == EOption::Off; }
    // Every option asked for has been answered.
    bool NegotiationAnswered() const;
    // The acknowledgements still awaited (kAck*).
    std::uint32_t PendingAcks() const { return m_nPending; }
    // The line as the server acknowledged it (its last answers).
    const CLineConfig& Line() const { return m_line; }
    // The SET-CONTROL value the server last acknowledged for DTR, RTS and break (0: none yet).
    std::uint8_t DtrAck() const { return m_nDtrAck; }
    std::uint8_t RtsAck() const { return m_nRtsAck; }
    std::uint8_t BreakAck() const { return m_nBreakAck; }
    // Line errors (line_error::*) and line events (line_event::*) the server reported since the
    // last call; clears them.
    std::uint32_t TakeLineErrors();
    std::uint32_t TakeLineEvents();
    bool HasLineEvents() const { return m_nLineEvents != 0; }
    // The modem lines the server last reported (MODEM_CTS, MODEM_DSR, MODEM_RING, MODEM_DCD).
    std::uint32_t ModemLines() const { return m_nModemLines; }
    // "BINARY both ways, SUPPRESS-GO-AHEAD both ways, COM-PORT-OPTION": what the server agreed to.
    std::string AgreedText() const;
    // One side of an option: ours (WILL) or the server's (DO), for tests and the doctor.
    EOption Local(std::uint8_t option) const;
    EOption Remote(std::uint8_t option) const;

private:
    enum class EState : std::uint8_t { Data, Iac, Verb, Sub, SubIac };
    static constexpr std::size_t kBinaryIndex = 0;
    static constexpr std::size_t kSgaIndex = 1;
    static constexpr std::size_t kComPortIndex = 2;
    static constexpr std::size_t kMaxSub = 64;

    static int LocalIndex(std::uint8_t option);
    static int RemoteIndex(std::uint8_t option);
    void OnVerb(std::uint8_t verb, std::uint8_t option, std::string& out);
    void OnSubnegotiation();
    void OnComPortAccepted(std::string& out);
    void SendSub(std::uint8_t command, const std::uint8_t* value, std::size_t size, std::string& out);
    void SendByteSub(std::uint8_t command, std::uint8_t value, std::string& out);

    EState m_eState = EState::Data;
    std::uint8_t m_nVerb = 0;
    std::string m_strSub;
    bool m_bSubOverflow = false;
    std::array<EOption, 3> m_local{EOption::Unasked, EOption::Unasked, EOption::Unasked}; // binary, SGA, com port
    std::array<EOption, 2> m_remote{EOption::Unasked, EOption::Unasked};                  // binary, SGA
    std::uint32_t m_nPending = 0;
    // Data-size requests (settings and barriers) and answers, in order; the answer to the
    // request numbered m_nDataSizeAckAt is the setting's.
    std::uint64_t m_nDataSizeRequests = 0;
    std::uint64_t m_nDataSizeAnswers = 0;
    std::uint64_t m_nDataSizeAckAt = 0;
    CLineConfig m_line;
    std::uint8_t m_nDtrAck = 0;
    std::uint8_t m_nRtsAck = 0;
    std::uint8_t m_nBreakAck = 0;
    std::uint32_t m_nLineErrors = 0;
    std::uint32_t m_nLineEvents = 0;
    std::uint32_t m_nModemLines = 0;
};
