#pragma once
// CPortSettings: which serial line the program talks through and with which settings. Six
// texts (what is stored and shown) and the numbers that belong to them; every setter passes the
// text through its normalisation rule. A plain value type: the GUI thread owns the main frame's
// copy; the download worker gets a copy. The settings store is written one key at a time.

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

    std::string m_strPort = "COM1";
    std::string m_strBaud = "19200";
    int m_nBaud = 19200;
    std::string m_strDataBits = "8";
    int m_nDataBits = 8;
    std::string m_strParity = "N";
    int m_nParity = 0;
    std::string m_strStopBits = "1";
    int m_nStopBits = 0;
    std::string m_strHandshake = "None";
    int m_nHandshake = 0;

    // Reads the six keys with their defaults and normalises them; writes nothing back.
    void LoadPortSettings(ISettingsStore& store);

    // Each sets one text through its rule, with its number. The port name is taken unchanged.
    void SetPort(const std::string& text) { m_strPort = text; }
    void SetBaud(const std::string& text) { m_nBaud = NormalizeBaud(m_strBaud = text); }
    void SetDataBits(const std::string& text) { m_nDataBits = NormalizeDataBits(m_strDataBits = text); }
    void SetParity(const std::string& text) { m_nParity = NormalizeParity(m_strParity = text); }
    void SetStopBits(const std::string& text) { m_nStopBits = NormalizeStopBits(m_strStopBits = text); }
    void SetHandshake(const std::string& text) { m_nHandshake = NormalizeHandshake(m_strHandshake = text); }

    // Writes the six texts in the order Port, Baud, DataBit, Parity, StopBit, Handshake.
    void SaveAll(ISettingsStore& store) const;

    // The normalisation rules: each corrects the text in place and returns its number.
    static int NormalizeBaud(std::string& text);      // atol value in the standard set, else "19200"
    static int NormalizeDataBits(std::string& text);  // atol value 5..8, else "8"
    static int NormalizeParity(std::string& text);    // first letter O/E/M/S, else "N"
    static int NormalizeStopBits(std::string& text);  // exactly "1", "1.5", "2", else "1"
    static int NormalizeHandshake(std::string& text); // "None", "RTS/CTS...", "XON/XOFF...", else "None"
    // The C library's atol on a decimal text (leading blanks, sign, digits; saturates).
    static long ParseLeadingInteger(const std::string& text);

    // The port pane: "COM1: 19200 8N1 None".
    std::string PaneText() const;

    // Single-value commands: set one text and its number and write that one key. False (and
    // nothing written) for a command outside the handler's range.
    // OnPortName: 32796..32815 give "COM1".."COM20".
    bool OnPortName(int commandId, ISettingsStore& store);
    bool OnBaudRate(int commandId, ISettingsStore& store);  // 32816..32824
    bool OnHandshake(int commandId, ISettingsStore& store); // 32825..32827
    bool OnStopBits(int commandId, ISettingsStore& store);  // 32828..32830
    bool OnParity(int commandId, ISettingsStore& store);    // 32831..32835
    bool OnDataBits(int commandId, ISettingsStore& store);  // 32836..32839
    // The port list pop-up: 32796.. choose by position in the names shown; writes "Port".
    bool OnPortListChoice(int commandId, const std::vector<std::string>& shownNames,
        ISettingsStore& store);
};
