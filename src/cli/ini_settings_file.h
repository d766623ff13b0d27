#pragma once
// CIniSettingsFile: reads the program's settings file (the INI file the window program keeps
// through QSettings: ~/.config/Quillorex/Quillorex Programmer.conf, or under XDG_CONFIG_HOME)
// without Qt, so the command line starts from the user's port and board settings. Read-only:
// the command line never writes the user's settings. Plain functions of one thread.

#include "base/memory_settings_store.h"

#include <map>
#include <string>

class CIniSettingsFile {
public:
    // The file the window program uses for this user.
    static std::string DefaultPath();
    // The window program's "Settings" group from DefaultPath() into store (read only); a file
    // that cannot be read is said on stderr and leaves the defaults.
    static void LoadProgramSettings(CMemorySettingsStore& store);

    // Reads the file; a missing file is an empty one. False when it exists but cannot be read.
    bool Load(const std::string& path);
    // The entries of one group, keys and values unescaped as QSettings writes them.
    std::map<std::string, std::string> Group(const std::string& name) const;
    // Copies the entries of the group into the store as texts (numbers are read back from
    // texts by ReadInt).
    void CopyGroup(const std::string& name, ISettingsStore& store) const;

    // QSettings' value text to the value: quotes, backslash escapes, "@@" for a leading "@";
    // a list (commas outside quotes) becomes its items joined with ", ".
    static std::string UnescapeValue(const std::string& text);
    // QSettings' key text: "%XX" escapes and "\\" for "/".
    static std::string UnescapeKey(const std::string& text);

private:
    std::map<std::string, std::map<std::string, std::string>> m_groups;
};
