#pragma once
// CDesktopLauncher: opens files with the desktop's applications (GIO associations) and starts
// external tools detached, never through a shell. GUI thread (GIO's default main context).
// Launched programs are independent: they are not captured, waited for or stopped, and they get
// a session of their own. The desktop's part (GIO, the detached start) lives in
// desktop_launcher_posix.cpp.

#include <string>
#include <vector>

class CDesktopLauncher {
public:
    enum class EResult { Launched, NoAssociation, Failed };

    // Opens path with the default application for its content type (guessed from the name and,
    // when readable, the first bytes). NoAssociation when that type has no default application.
    static EResult OpenWithAssociation(const std::string& path);
    // Opens path with the desktop's default text editor (the default application of text/plain).
    static EResult OpenInTextEditor(const std::string& path);
    // Runs args (program first, looked up in PATH when it has no '/') as a detached process.
    static EResult Run(const std::vector<std::string>& args);
    // Opens path at a line with the editor setting (CEditorCommand's rules); an empty setting
    // opens it with the desktop's text editor, without a line.
    static EResult OpenInEditorAtLine(const std::string& editorSetting, const std::string& path, int line);
    // The content type the desktop gives the file.
    static std::string ContentTypeOf(const std::string& path);
};
