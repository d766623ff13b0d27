#pragma once
// CPortSettings: which serial line the program talks through and with which settings. Six
// texts (what is stored and shown) and the typed line they give (m_line, what the port takes);
// every setter passes the text through its normalisation rule. A plain value type: the GUI thread owns the main frame's
// copy; the download worker gets a copy. The settings store is written one key at a time.

#include "base/line_config.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class ISettingsStore;

class CPortSettings {
public:
    // Keys in the settings store (section "Settings").
    static constexpr const char* kKeyPort = "Port";
    static constexpr const char* kKeyBaud = "Baud";
    static constexpr const char* kKeyDataBits = "DataBit";
    static constexpr const char* kKeyParity = "Parity";
    static constexpr const char* kKeyStopBits = "StopBit";
    static constexpr const char* kKeyHandshake = "Handshake";
    // 1: reopen the port when its device comes back after it went away (written by Port Setup).
    static constexpr const char* kKeyReconnect = "Reconnect";

    // The choices of each line setting, in the order of their commands (ID_BAUD_FIRST..,
    // ID_DATABITS_FIRST.., ...), of the Port Setup boxes and of the "_CONFIG_" pop-up.
    static constexpr std::array<int, 9> kBaudRates = {1200, 2400, 9600, 14400, 19200, 38400, 56000, 57600, 115200};
    // The other standard rates, in the order of ID_BAUD_MORE_FIRST..; the lists show both sorted.
    static constexpr std::array<int, 17> kMoreBaudRates = {300, 600, 1800, 4800, 230400, 460800, 500000, 576000,
        921600, 1000000, 1152000, 1500000, 2000000, 2500000, 3000000, 3500000, 4000000};
    // Every listed rate in ascending order, and the command that chooses each.
    static std::vector<int> ListedBaudRates();
    static int BaudCommand(int rate);
    static constexpr std::array<int, 4> kDataBits = {5, 6, 7, 8};
    // Shown as is; the stored text is the first letter ("N", "O", ...).
    static constexpr std::array<const char*, 5> kParityNames = {"None", "Odd", "Even", "Mark", "Space"};
    static constexpr std::array<const char*, 3> kStopBitTexts = {"1", "1.5", "2"};
    // Stored and shown in the dialog as is; the pop-up names the kind of handshake too.
    static constexpr std::array<const char*, 3> kHandshakeTexts = {"None", "RTS/CTS", "XON/XOFF"};
    static constexpr std::array<const char*, 3> kHandshakeMenuTexts = {
        "&None", "&RTS/CTS (Hardware)", "&XON/XOFF (Software)"};

    std::string m_strPort = "COM1";
    std::string m_strBaud = "19200";
    std::string m_strDataBits = "8";
    std::string m_strParity = "N";
    std::string m_strStopBits = "1";
    std::string m_strHandshake = "None";
    // What the five line texts say (always kept in step with them by the setters and commands).
    CLineConfig m_line;
    bool m_bReconnect = true;

    // Reads the six keys and Reconnect with their defaults and normalises them; writes nothing back.
    void LoadPortSettings(ISettingsStore& store);

    // Each sets one text through its rule, with its part of the line. The port name is taken
    // unchanged.
    void SetPortName(const std::string& text) { m_strPort = text; }
    void SetBaud(const std::string& text) { m_line.m_nBaud = NormalizeBaud(m_strBaud = text); }
    void SetDataBits(const std::string& text) { m_line.m_nDataBits = NormalizeDataBits(m_strDataBits = text); }
    void SetParity(const std::string& text) { m_line.m_eParity = NormalizeParity(m_strParity = text); }
    void SetStopBits(const std::string& text) { m_line.m_eStopBits = NormalizeStopBits(m_strStopBits = text); }
    void SetHandshake(const std::string& text) { m_line.m_eHandshake = NormalizeHandshake(m_strHandshake = text); }
    // Sets the five line texts to the ones that store line, as the single-value commands write
    // them, and m_line to line (a rate outside the line's limits gives "19200", as loading does).
    void SetLine(const CLineConfig& line);
    // The stored texts of each choice.
    static std::string ParityText(EParity parity);
    static std::string StopBitsText(EStopBits stopBits);
    static std::string HandshakeText(EHandshake handshake);

    // Writes the six texts in the order Port, Baud, DataBit, Parity, StopBit, Handshake.
    void SaveAll(ISettingsStore& store) const;

    // The normalisation rules: each corrects the text in place and returns what it says.
    static std::uint32_t NormalizeBaud(std::string& text); // atol value in the line's limits, else "19200"
    static unsigned NormalizeDataBits(std::string& text);  // atol value 5..8, else "8"
    static EParity NormalizeParity(std::string& text);     // first letter O/E/M/S, else "N"
    static EStopBits NormalizeStopBits(std::string& text); // exactly "1", "1.5", "2", else "1"
    static EHandshake NormalizeHandshake(std::string& text); // "None", "RTS/CTS...", "XON/XOFF...", else "None"
    // The C library's atol on a decimal text (leading blanks, sign, digits; saturates).
    static long ParseLeadingInteger(const std::string& text);

    // The port pane: "COM1: 19200 8N1 None".
    std::string PaneText() const;
    // The same with another name for the port (the node a stable name leads to).
    std::string PaneText(const std::string& shownName) const;

    // Single-value commands: set one text and its part of the line and write that one key. False (and
    // nothing written) for a command outside the handler's range.
    // OnPortName: ID_PORT_FIRST..ID_PORT_LAST give "COM1".."COM20".
    bool OnPortName(int commandId, ISettingsStore& store);
    bool OnBaudRate(int commandId, ISettingsStore& store);  // ID_BAUD_FIRST..ID_BAUD_LAST, ID_BAUD_MORE_FIRST..LAST
    bool OnHandshake(int commandId, ISettingsStore& store); // ID_HANDSHAKE_FIRST..ID_HANDSHAKE_LAST
    bool OnStopBits(int commandId, ISettingsStore& store);  // ID_STOPBITS_FIRST..ID_STOPBITS_LAST
    bool OnParity(int commandId, ISettingsStore& store);    // ID_PARITY_FIRST..ID_PARITY_LAST
    bool OnDataBits(int commandId, ISettingsStore& store);  // ID_DATABITS_FIRST..ID_DATABITS_LAST
    // The port list pop-up: ID_PORT_FIRST.. choose by position in the names shown; writes "Port".
    bool OnPortListChoice(int commandId, const std::vector<std::string>& shownNames,
        ISettingsStore& store);
};
