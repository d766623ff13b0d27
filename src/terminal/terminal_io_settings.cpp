#include "terminal/terminal_io_settings.h"

namespace {
constexpr const char* kKeyLocalEcho = "TerminalLocalEcho";
constexpr const char* kKeyEnterSends = "TerminalEnterSends";
constexpr const char* kKeyLogMode = "TerminalLogMode";
constexpr const char* kKeyLogFile = "TerminalLogFile";
constexpr const char* kKeyDtr = "TerminalDTR";
constexpr const char* kKeyRts = "TerminalRTS";
constexpr const char* kKeySendFile = "TerminalSendFile";
constexpr const char* kKeyCharDelay = "TerminalCharDelay";
constexpr const char* kKeyLineDelay = "TerminalLineDelay";
constexpr const char* kKeyWaitFor = "TerminalWaitFor";
constexpr const char* kKeyWaitLimit = "TerminalWaitLimit";
constexpr const char* kKeyWaitTimeout = "TerminalWaitTimeout";
constexpr const char* kKeyCommandLine = "TerminalCommandLine";
constexpr const char* kKeyEscapes = "TerminalEscapes";

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
    const CSendPacing pacing;
    m_pacing.m_nCharDelayMs =
        InRange(store.ReadInt(kKeyCharDelay, pacing.m_nCharDelayMs), 0, CSendPacing::kMaxCharDelayMs, pacing.m_nCharDelayMs);
    m_pacing.m_nLineDelayMs =
        InRange(store.ReadInt(kKeyLineDelay, pacing.m_nLineDelayMs), 0, CSendPacing::kMaxLineDelayMs, pacing.m_nLineDelayMs);
    m_pacing.m_strWaitFor = store.ReadString(kKeyWaitFor, pacing.m_strWaitFor);
    if (m_pacing.m_strWaitFor.size() > CSendPacing::kMaxWaitText)
        m_pacing.m_strWaitFor.clear();
    m_pacing.m_nWaitLimitMs = InRange(store.ReadInt(kKeyWaitLimit, pacing.m_nWaitLimitMs), CSendPacing::kMinWaitLimitMs,
                                      CSendPacing::kMaxWaitLimitMs, pacing.m_nWaitLimitMs);
    m_pacing.m_bGoOnAfterTimeout =
        InRange(store.ReadInt(kKeyWaitTimeout, pacing.m_bGoOnAfterTimeout ? 1 : 0), 0, 1, 0) != 0;
    m_bCommandLine = InRange(store.ReadFlag(kKeyCommandLine, def.m_bCommandLine), 0, 1, def.m_bCommandLine) != 0;
    m_bEscapes = InRange(store.ReadFlag(kKeyEscapes, def.m_bEscapes), 0, 1, def.m_bEscapes) != 0;
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
    store.WriteInt(kKeyCharDelay, m_pacing.m_nCharDelayMs);
    store.WriteInt(kKeyLineDelay, m_pacing.m_nLineDelayMs);
    store.WriteString(kKeyWaitFor, m_pacing.m_strWaitFor);
    store.WriteInt(kKeyWaitLimit, m_pacing.m_nWaitLimitMs);
    store.WriteInt(kKeyWaitTimeout, m_pacing.m_bGoOnAfterTimeout ? 1 : 0);
    store.WriteInt(kKeyCommandLine, m_bCommandLine ? 1 : 0);
    store.WriteInt(kKeyEscapes, m_bEscapes ? 1 : 0);
}
