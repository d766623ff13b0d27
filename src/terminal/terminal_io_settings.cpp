#include "terminal/terminal_io_settings.h"

namespace {
constexpr const char* kKeyLocalEcho = "TerminalLocalEcho";
constexpr const char* kKeyEnterSends = "TerminalEnterSends";
constexpr const char* kKeyLogMode = "TerminalLogMode";
constexpr const char* kKeyLogFile = "TerminalLogFile";
constexpr const char* kKeyDtr = "TerminalDTR";
constexpr const char* kKeyRts = "TerminalRTS";
constexpr const char* kKeySendFile = "TerminalSendFile";

// A value outside first..last is no value: the default stays.
int InRange(int value, int first, int last, int def)
{
    return value >= first && value <= last ? value : def;
}
} // namespace

void CTerminalIoSettings::Load(ISettingsStore& store)
{
    const CTerminalIoSettings def;
    m_bLocalEcho = InRange(store.ReadFlag(kKeyLocalEcho, def.m_bLocalEcho), 0, 1, def.m_bLocalEcho) != 0;
    m_eEnterSends = static_cast<EEnterSends>(
        InRange(store.ReadInt(kKeyEnterSends, static_cast<int>(def.m_eEnterSends)), 0, 2,
            static_cast<int>(def.m_eEnterSends)));
    m_nLogMode = InRange(store.ReadInt(kKeyLogMode, def.m_nLogMode), 0, 1, def.m_nLogMode);
    m_strLogFile = store.ReadString(kKeyLogFile, def.m_strLogFile);
    m_bDtr = InRange(store.ReadFlag(kKeyDtr, def.m_bDtr), 0, 1, def.m_bDtr) != 0;
    m_bRts = InRange(store.ReadFlag(kKeyRts, def.m_bRts), 0, 1, def.m_bRts) != 0;
    m_strSendFile = store.ReadString(kKeySendFile, def.m_strSendFile);
}

void CTerminalIoSettings::Save(ISettingsStore& store) const
{
    store.WriteInt(kKeyLocalEcho, m_bLocalEcho ? 1 : 0);
    store.WriteInt(kKeyEnterSends, static_cast<int>(m_eEnterSends));
    store.WriteInt(kKeyLogMode, m_nLogMode);
    store.WriteString(kKeyLogFile, m_strLogFile);
    store.WriteInt(kKeyDtr, m_bDtr ? 1 : 0);
    store.WriteInt(kKeyRts, m_bRts ? 1 : 0);
    store.WriteString(kKeySendFile, m_strSendFile);
}
