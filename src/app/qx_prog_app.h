#pragma once
// CQxProgApp: the application object. Owns the settings store, the tool settings with the start
// directory, the board commands, the single-instance endpoint and the main window for the whole
// run. GUI thread; the tool settings and board commands may be read from any thread (Get).

#include "base/command_target.h"
#include "base/qt_settings_store.h"
#include "base/qt_user_prompt.h"
#include "app/single_instance.h"
#include "files/tool_settings.h"
#include "programming/board_commands.h"

#include <QStringList>

#include <memory>

class CMainFrame;

class CQxProgApp : public ICommandTarget {
public:
    CQxProgApp();
    ~CQxProgApp();
    CQxProgApp(const CQxProgApp&) = delete;
    CQxProgApp& operator=(const CQxProgApp&) = delete;

    // Start-up; false ends the program at once (another instance runs, or the window failed).
    bool InitInstance(const QStringList& arguments);

    ISettingsStore& Store() { return *m_pStore; }
    CQtSettingsStore& QtStore() { return *m_pStore; }
    CToolSettings& ToolSettings() { return m_toolSettings; }
    CBoardCommands& BoardCommands() { return m_boardCommands; }
    CMainFrame* MainWnd() { return m_pMainWnd.get(); }
    IUserPrompt& Prompt() { return m_prompt; }

    // A termination request: every open box, dialog and menu ends as cancelled, no further box
    // shows, and the main window closes the normal way (saving its layout and list; a running
    // download is stopped first), at once or as soon as start-up has made it.
    void Terminate();
    bool IsTerminating() const { return m_bTerminating; }

    // The application's own commands: About, the maker's web site, the user guide and Options.
    bool OnCommand(int id) override;
    bool OnUpdateCommand(CCmdUI& ui) override;

private:
    void OpenUserGuide();

    std::unique_ptr<CSingleInstance> m_pInstance;
    std::unique_ptr<CQtSettingsStore> m_pStore;
    CToolSettings m_toolSettings;
    CBoardCommands m_boardCommands;
    CQtUserPrompt m_prompt;
    std::unique_ptr<CMainFrame> m_pMainWnd;
    bool m_bCreated = false;
    bool m_bTerminating = false;
};
