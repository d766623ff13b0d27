#include "files/tool_commands.h"

#include "files/command_line.h"

CBuildCommand MakeBuildCommand(const CToolSettingsValues& settings, const CFileEntry& row)
{
    CBuildCommand command;
    std::string target = CFileList::GetEntryPath(row);
    if (settings.m_bRemoveExtension)
        target = PathRemoveExtension(target);
    command.m_strCommandLine = QuoteIfBlank(settings.m_strBuilder) + ' ' + QuoteIfBlank(target);
    // The arguments are those of the command line shown, except that the target is passed as
    // it is: no quote or backslash in a file name can split or join arguments.
    command.m_args = SplitCommandLine(QuoteIfBlank(settings.m_strBuilder));
    // Without a builder there is nothing to run (never the target itself).
    if (!command.m_args.empty())
        command.m_args.push_back(target);
    if (settings.m_bChangeWorkingDir)
        command.m_strWorkingDir = row.m_strFolder;
    return command;
}

std::vector<std::string> MakeToolLaunch(const std::string& toolSetting, const std::string& path)
{
    std::vector<std::string> args = ToolArguments(toolSetting);
    if (args.empty())
        return args;
    args.push_back(path);
    return args;
}
