#include "files/desktop_launcher.h"

#include "files/editor_command.h"

CDesktopLauncher::EResult CDesktopLauncher::OpenInEditorAtLine(const std::string& editorSetting, const std::string& path,
                                                               int line)
{
    if (editorSetting.empty())
        return OpenInTextEditor(path);
    return Run(CEditorCommand::Make(editorSetting, path, line));
}
