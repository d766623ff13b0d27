#pragma once
// CDesktopApps: what the desktop offers for a file, through GIO: its content type (guessed from
// the name, so nothing is read), the applications registered for that type, launching the
// default or a chosen one, and moving a file to the trash. No Qt here: GIO's headers and Qt's
// keywords do not mix. Calls come from the GUI thread; launching does not wait for the program.

#include <string>
#include <vector>

struct CDesktopApp {
    std::string m_strId;
    std::string m_strName;
};

class CDesktopApps {
public:
    static std::string ContentTypeOf(const std::string& path, bool isFolder);
    static std::vector<CDesktopApp> AppsForType(const std::string& contentType);
    // Each returns the empty text on success, else GIO's message.
    static std::string OpenDefault(const std::string& path);
    static std::string OpenWith(const std::string& appId, const std::string& contentType, const std::string& path);
    static std::string Trash(const std::string& path);
};
