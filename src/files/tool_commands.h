#pragma once
// What the Build, Debug and Edit commands run, as pure functions of the tool settings and the
// selected row. Any thread. The command-line text is what the output window shows; the
// arguments are what is executed (the target path is always exactly one argument, whatever
// characters its name holds).

#include "files/file_list.h"
#include "files/tool_settings.h"

#include <string>
#include <vector>

struct CBuildCommand {
    // Tool (quoted when it holds a blank), one blank, target (likewise).
    std::string m_strCommandLine;
    std::vector<std::string> m_args;
    // The row's folder when the working-directory option is on; empty otherwise.
    std::string m_strWorkingDir;
};

// The builder run on a row: target = the row's full path, without the file name's extension when
// the remove-extension option is on.
CBuildCommand MakeBuildCommand(const CToolSettingsValues& settings, const CFileEntry& row);

// The arguments that run a debugger or editor setting on a path: the tool's arguments and then
// the path as one more argument. Empty when the setting is empty.
std::vector<std::string> MakeToolLaunch(const std::string& toolSetting, const std::string& path);
