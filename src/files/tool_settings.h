#pragma once
// CToolSettings: the builder, debugger and editor settings, with the start directory (the board
// commands around a download are CBoardCommands, stored after these keys). Owned by the application object for the whole run.
// Loaded once at start-up and saved by the options dialog on the GUI thread; consumers take
// Get() at the moment they need a value, from any thread (the download job reads the commands
// elsewhere), so a change is effective for the next command.

#include "base/settings_store.h"

#include <mutex>
#include <string>

struct CToolSettingsValues {
    std::string m_strBuilder;
    bool m_bRemoveExtension = true;
    bool m_bChangeWorkingDir = true;
    std::string m_strDebugger;
    // Empty: the desktop's text editor.
    std::string m_strEditor;
    bool m_bUseAssocApp = true;

    bool operator==(const CToolSettingsValues&) const = default;
};

class CToolSettings {
public:
    // Takes the current directory as the start directory and reads the six keys in order.
    void LoadToolSettings(ISettingsStore& store);
    // Writes all six keys, changed or not (texts as texts, flags as integers).
    void SaveToolSettings(ISettingsStore& store) const;

    CToolSettingsValues Get() const;
    void Set(const CToolSettingsValues& values);
    // The folder that was current at start-up, ending with a separator.
    std::string StartDir() const;
    void SetStartDir(const std::string& dir);

private:
    mutable std::mutex m_mutex;
    CToolSettingsValues m_values;
    std::string m_strStartDir;
};
