#pragma once
// CBoardCommands: whether a download is framed by the board's download and run commands, and
// those commands, as stored under "UsePrePostPgmCmd", "ProgramCmd" and "CmdAfterProgram" (the
// last three of the tool keys, written after them in that order), and whether an Intel HEX file
// is checked before it is sent ("CheckHexFile", written after them). Owned by the application
// object; the options dialog sets them on the GUI thread while a download job may read them on
// its worker thread, so Get() and Set() are guarded and a change is effective for the next job.

#include "base/settings_store.h"
#include "programming/board_protocol.h"

#include <mutex>
#include <string>

struct CBoardCommandValues {
    bool m_bUsePrePostPgmCmd = true;
    // Empty: the protocol's default command.
    std::string m_strProgramCmd = board::kDefaultProgramCmd;
    std::string m_strCmdAfterProgram = board::kDefaultRunCmd;
    // Non-zero: an Intel HEX file is checked whole before its first byte goes out. Kept as the
    // number read from the settings ("2" stays 2), so an int.
    int m_bCheckHexFile = 1;
    // The modem lines driven after the port is open and before the download command
    // (CResetSequence's text, "dtr,-dtr"); empty: none. Given on the command line only.
    std::string m_strResetSequence;

    bool operator==(const CBoardCommandValues&) const = default;

    // The command sent, an empty setting standing for the default one.
    std::string ProgramCommand() const { return m_strProgramCmd.empty() ? board::kDefaultProgramCmd : m_strProgramCmd; }
    std::string RunCommand() const { return m_strCmdAfterProgram.empty() ? board::kDefaultRunCmd : m_strCmdAfterProgram; }
};

class CBoardCommands {
public:
    CBoardCommands() = default;
    explicit CBoardCommands(const CBoardCommandValues& values) : m_values(values) {}

    void LoadBoardCommands(ISettingsStore& store);
    // Writes the four keys, changed or not.
    void SaveBoardCommands(ISettingsStore& store) const;

    CBoardCommandValues Get() const;
    void Set(const CBoardCommandValues& values);

private:
    mutable std::mutex m_mutex;
    CBoardCommandValues m_values;
};
