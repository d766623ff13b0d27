#pragma once
// CTerminalIoSettings: the terminal's input and output choices (local echo, what Enter sends,
// the log's mode and file, the DTR and RTS lines, the last file sent, the pacing of sends, the
// command line), read from and written to the settings store. A plain value; GUI thread (where
// the store lives).

#include "base/settings_store.h"
#include "terminal/send_pacing.h"

#include <string>

enum class EEnterSends : int { CR = 0, LF = 1, CRLF = 2 };

struct CTerminalIoSettings {
    bool m_bLocalEcho = false;
    EEnterSends m_eEnterSends = EEnterSends::CR;
    // CTerminalLog::EMode: 0 the bytes as received, 1 the shown lines with timestamps.
    int m_nLogMode = 0;
    std::string m_strLogFile;
    bool m_bDtr = true;
    bool m_bRts = true;
    std::string m_strSendFile;
    CSendPacing m_pacing;
    bool m_bCommandLine = true;
    // The command line's escapes (\xHH, \r, \n, \t, \\) are read.
    bool m_bEscapes = false;

    // Absent or unusable values keep the defaults above.
    void Load(ISettingsStore& store);
    void Save(ISettingsStore& store) const;

    bool operator==(const CTerminalIoSettings&) const = default;
};
