#pragma once
// CQxProgView: the file list, the main view. A table over a CFileListModel with the columns
// File (with the file's icon), Size and Location, sorted by name; files come from the Add
// dialog, drops of files and the file browser (AddFile), and from "lastfiles.lst" in the start
// directory, which is written back when the view goes (or when the frame calls SaveFileList at
// close) unless it could not be read at start; a list file that cannot be read or written is
// reported once in a box. It handles the commands Program, Build, Debug, Edit, Add, Remove and Remove All and
// their states.
// GUI thread only.
//
// Usage (main frame):
//   CQxProgView::CCallbacks cb;
//   cb.m_startDownload = [this](const std::string& path) { StartDownload(path); };
//   cb.m_showOutputPane = [this] { m_pOutputDock->show(); };
//   cb.m_onOptions = [this] { COptionsDlg::OnOptions(this, m_tools, m_commands, m_store); };
//   cb.m_routeCommand = [this](int id) { return RouteCommand(id); };  // pop-up menu commands
//   cb.m_updateCommand = [this](CCmdUI& ui) { RouteUpdate(ui); };      // pop-up menu states
//   auto* view = new CQxProgView(m_store, m_tools, m_prompt, &m_wndOutput->Runner(), cb, this);
//   setCentralWidget(view); view->OnInitialUpdate();   // loads the list file
//   connect(view, &CQxProgView::ProgramEnabledChanged, programButton, &QWidget::setEnabled);
//   connect(view, &CQxProgView::CommandStatesChanged, this, &CMainFrame::UpdateCommands);
// and offer it commands and updates first as an ICommandTarget.

#include "base/command_target.h"
#include "base/settings_store.h"
#include "base/user_prompt.h"
#include "files/file_list.h"
#include "files/file_list_model.h"
#include "files/tool_settings.h"

#include <QTableView>

#include <functional>
#include <map>
#include <string>

class CProcessRunner;

class CQxProgView : public QTableView, public ICommandTarget {
    Q_OBJECT
public:
    struct CCallbacks {
        // The main frame's StartDownload with the selected row's full path.
        std::function<void(const std::string& path)> m_startDownload;
        // Shows the output window's pane (Build).
        std::function<void()> m_showOutputPane;
        // Runs the options dialog (the tool-missing prompts' OK).
        std::function<void()> m_onOptions;
        // The frame's routing for the pop-up menu's commands and states; empty: this view alone.
        std::function<bool(int id)> m_routeCommand;
        std::function<void(CCmdUI& ui)> m_updateCommand;
        // A word for the status bar that stays until the next one ("Building a.c...").
        std::function<void(const QString& text)> m_showStatus;
    };

    static constexpr int kDefaultWidths[3] = {120, 60, 240};

    CQxProgView(ISettingsStore& store, CToolSettings& tools, IUserPrompt& prompt, CProcessRunner* runner,
                CCallbacks callbacks, QWidget* parent = nullptr);
    ~CQxProgView() override;

    // Sets up the columns with their stored widths and loads the list file.
    void OnInitialUpdate();
    // Adds one file by path (bytes). Returns its row, or -1 when nothing was added.
    int AddFile(const std::string& path);
    void LoadFileList();
    // Stores the column widths and writes the list file (once; the destructor calls it too).
    void SaveFileList();
    std::string ListFilePath() const;

    const CFileList& Files() const { return m_pModel->Files(); }
    // Full path of a row.
    std::string GetEntryPath(int row) const { return Files().GetEntryPath(row); }
    // Selected rows in display order.
    std::vector<int> SelectedRows() const;

    // ICommandTarget: 32771..32775, 32783 and 32788.
    bool OnCommand(int id) override;
    bool OnUpdateCommand(CCmdUI& ui) override;

    void OnProgram();
    void OnBuild();
    void OnDebug();
    void OnEdit();
    void OnAdd();
    void OnRemove();
    void OnRemoveAll();

    // The pop-up "_FILELIST_" menu as shown at a right click (for the frame and for tests).
    QMenu* CreateContextMenu(QWidget* parent);

    // Texts of the tool-missing prompts.
    static const char* const kBuilderMissing;
    static const char* const kDebuggerMissing;
    static const char* const kEditorMissing;
    // First lines of the boxes about a list file that cannot be read at start or written at the
    // end (the file's path and the system's reason follow).
    static const char* const kListUnreadable;
    static const char* const kListUnwritable;

signals:
    // The Program command's enabled state changed (the program window's button follows it).
    void ProgramEnabledChanged(bool enabled);
    // Selection or rows changed: the frame updates its command states.
    void CommandStatesChanged();

protected:
    // The Add dialog; returns the chosen paths. Tests replace it.
    virtual QStringList ChooseFilesToAdd();
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void StatesChanged();
    bool SingleSelection(CFileEntry& entry) const;
    bool EnsureTool(bool builder);

    ISettingsStore& m_store;
    CToolSettings& m_tools;
    IUserPrompt& m_prompt;
    CProcessRunner* m_pRunner;
    CCallbacks m_callbacks;
    // A child of this view: it goes after the view's own destructor has saved the list.
    CFileListModel* m_pModel;
    std::map<int, std::string> m_lastTexts;
    bool m_bProgramEnabled = false;
    bool m_bInitialised = false;
    bool m_bSaved = false;
    // The list file exists but could not be read: it is never written over.
    bool m_bListUnreadable = false;
    int m_nStoredWidths[3] = {kDefaultWidths[0], kDefaultWidths[1], kDefaultWidths[2]};
};
