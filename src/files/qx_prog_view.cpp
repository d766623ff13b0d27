#include "files/qx_prog_view.h"

#include "base/commands.h"
#include "base/system_error.h"
#include "files/command_line.h"
#include "files/desktop_launcher.h"
#include "files/process_runner.h"
#include "files/tool_commands.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QFile>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

#include <filesystem>

const char* const CQxProgView::kBuilderMissing =
    "Set Builder path in the option dialog first\r\nClick OK to bring up the option dialog, otherwise click Cancel";
const char* const CQxProgView::kDebuggerMissing =
    "Set Debugger path in the option dialog first\r\nClick OK to bring up the option dialog, otherwise click Cancel";
const char* const CQxProgView::kEditorMissing =
    "Set Editor path in the option dialog first\r\nClick OK to bring up the option dialog, otherwise click Cancel";
const char* const CQxProgView::kListUnreadable =
    "The file list could not be read. It is left as it is and not written when the program ends.";
const char* const CQxProgView::kListUnwritable = "The file list could not be saved.";

namespace {
QString FromBytes(const std::string& bytes)
{
    return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string ToBytes(const QString& text)
{
    QByteArray bytes = QFile::encodeName(text);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

bool IsDirectory(const std::string& path)
{
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

// The local paths of a drop, folders included, as the bytes of the names.
std::vector<std::string> DroppedPaths(const QMimeData* data)
{
    if (!data || !data->hasFormat(QStringLiteral("text/uri-list")))
        return {};
    QByteArray list = data->data(QStringLiteral("text/uri-list"));
    return PathsFromUriList(std::string(list.constData(), static_cast<std::size_t>(list.size())));
}

bool HasDroppableFile(const QMimeData* data)
{
    for (const std::string& path : DroppedPaths(data))
        if (!IsDirectory(path))
            return true;
    return false;
}

struct CMenuItem {
    int m_nID;
    const char* m_text;
};
// The "_FILELIST_" pop-up; id 0 is the separator.
const CMenuItem kFileListMenu[] = {
    {cmd::ID_TOOLS_PROGRAM, "&Program\tF4"},
    {cmd::ID_TOOLS_BUILD, "&Build\tF7"},
    {cmd::ID_TOOLS_DEBUG, "&Debug\tF5"},
    {cmd::ID_TOOLS_EDIT, "&Edit\tF2"},
    {0, nullptr},
    {cmd::ID_FILE_ADD, "&Add...\tCtrl+O"},
    {cmd::ID_FILE_REMOVE, "&Remove\tDel"},
    {cmd::ID_FILE_REMOVE_ALL, "Re&move All"},
};
} // namespace

CQxProgView::CQxProgView(ISettingsStore& store, CToolSettings& tools, IUserPrompt& prompt, CProcessRunner* runner,
                         CCallbacks callbacks, QWidget* parent)
    : QTableView(parent), m_store(store), m_tools(tools), m_prompt(prompt), m_pRunner(runner),
      m_callbacks(std::move(callbacks)), m_pModel(new CFileListModel(this))
{
    setModel(m_pModel);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setSectionsMovable(true);
    // The last column takes the free width; the others keep the widths they are given.
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setSortingEnabled(false);
    setIconSize(QSize(16, 16));
    setContextMenuPolicy(Qt::DefaultContextMenu);
    setDragDropMode(QAbstractItemView::DropOnly);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);

    // The selection stays visible in the bar face's grey while another pane has the focus.
    QPalette pal = palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Button));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::WindowText));
    setPalette(pal);

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &CQxProgView::StatesChanged);
}

CQxProgView::~CQxProgView()
{
    SaveFileList();
}

void CQxProgView::OnInitialUpdate()
{
    if (m_bInitialised)
        return;
    m_bInitialised = true;
    for (int i = 0; i < 3; ++i) {
        m_nStoredWidths[i] = m_store.ReadInt("FLCWidth" + std::to_string(i), kDefaultWidths[i]);
        // The stretched last column remembers this width for when it is moved from the end.
        horizontalHeader()->resizeSection(i, m_nStoredWidths[i]);
    }
    LoadFileList();
}

std::string CQxProgView::ListFilePath() const
{
    return m_tools.StartDir() + CFileList::kListFileName;
}

void CQxProgView::LoadFileList()
{
    const std::string path = ListFilePath();
    CListFileRead read = ReadListFile(path);
    if (read.m_error) {
        // A list that exists but cannot be read is kept whole: nothing is written over it.
        m_bListUnreadable = true;
        m_prompt.ShowBox(FormatSystemError(read.m_error, kListUnreadable, path), kAppTitle, kBoxOk | kBoxIconWarning);
        return;
    }
    if (m_pModel->AddFiles(read.m_paths) > 0)
        StatesChanged();
}

void CQxProgView::SaveFileList()
{
    if (m_bSaved || !m_bInitialised)
        return;
    m_bSaved = true;
    // The stretched column's width is the window's, not the user's: it keeps its stored one.
    QHeaderView* header = horizontalHeader();
    const int stretched = header->logicalIndex(header->count() - 1);
    for (int i = 0; i < header->count() && i < 3; ++i)
        m_store.WriteInt("FLCWidth" + std::to_string(i), i == stretched ? m_nStoredWidths[i] : header->sectionSize(i));
    if (m_bListUnreadable)
        return;
    const std::string path = ListFilePath();
    if (std::error_code error = Files().SaveFileList(path))
        m_prompt.ShowBox(FormatSystemError(error, kListUnwritable, path), kAppTitle, kBoxOk | kBoxIconWarning);
}

int CQxProgView::AddFile(const std::string& path)
{
    // The selection moves with its rows (a new row before it shifts it down).
    int row = m_pModel->AddFile(path);
    if (row < 0)
        return -1;
    StatesChanged();
    return row;
}

std::vector<int> CQxProgView::SelectedRows() const
{
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool CQxProgView::SingleSelection(CFileEntry& entry) const
{
    std::vector<int> rows = SelectedRows();
    if (rows.size() != 1)
        return false;
    entry = Files().Entry(rows[0]);
    return true;
}

void CQxProgView::StatesChanged()
{
    CCmdUI ui;
    ui.m_nID = cmd::ID_TOOLS_PROGRAM;
    OnUpdateCommand(ui);
    if (ui.m_bEnabled != m_bProgramEnabled) {
        m_bProgramEnabled = ui.m_bEnabled;
        emit ProgramEnabledChanged(m_bProgramEnabled);
    }
    emit CommandStatesChanged();
}

bool CQxProgView::OnCommand(int id)
{
    switch (id) {
    case cmd::ID_TOOLS_PROGRAM: OnProgram(); return true;
    case cmd::ID_TOOLS_BUILD: OnBuild(); return true;
    case cmd::ID_TOOLS_DEBUG: OnDebug(); return true;
    case cmd::ID_TOOLS_EDIT: OnEdit(); return true;
    case cmd::ID_FILE_ADD: OnAdd(); return true;
    case cmd::ID_FILE_REMOVE: OnRemove(); return true;
    case cmd::ID_FILE_REMOVE_ALL: OnRemoveAll(); return true;
    default: return false;
    }
}

bool CQxProgView::OnUpdateCommand(CCmdUI& ui)
{
    if (ui.m_nID == cmd::ID_FILE_ADD) {
        ui.Enable(true);
        return true;
    }
    std::vector<int> rows = SelectedRows();
    std::string name = rows.size() == 1 ? Files().Entry(rows[0]).m_strName : std::string();
    if (!UpdateFileListCommand(ui, static_cast<int>(rows.size()), Files().Count(), name))
        return false;
    if (ui.m_strText)
        m_lastTexts[ui.m_nID] = *ui.m_strText;
    return true;
}

void CQxProgView::OnProgram()
{
    std::vector<int> rows = SelectedRows();
    if (rows.empty())
        return;
    if (m_callbacks.m_startDownload)
        m_callbacks.m_startDownload(Files().GetEntryPath(rows[0]));
}

bool CQxProgView::EnsureTool(bool builder)
{
    auto current = [&] {
        CToolSettingsValues v = m_tools.Get();
        return builder ? v.m_strBuilder : v.m_strDebugger;
    };
    if (!current().empty())
        return true;
    if (m_prompt.ShowBox(builder ? kBuilderMissing : kDebuggerMissing, kAppTitle, kBoxOkCancel) != kAnswerOk)
        return false;
    if (m_callbacks.m_onOptions)
        m_callbacks.m_onOptions();
    return !current().empty();
}

void CQxProgView::OnBuild()
{
    CFileEntry entry;
    if (!SingleSelection(entry) || !EnsureTool(true))
        return;
    CBuildCommand command = MakeBuildCommand(m_tools.Get(), entry);
    // A folder that cannot be entered leaves the builder in the current directory, as a failed
    // change of directory always did.
    if (!command.m_strWorkingDir.empty() && !IsDirectory(command.m_strWorkingDir))
        command.m_strWorkingDir.clear();
    if (m_callbacks.m_showOutputPane)
        m_callbacks.m_showOutputPane();
    // The builder may run a while before its first line: the status bar says it runs (its result
    // line replaces this).
    if (m_pRunner && m_pRunner->Start(command.m_strCommandLine, command.m_args, command.m_strWorkingDir) &&
        m_callbacks.m_showStatus)
        m_callbacks.m_showStatus(tr("Building %1...").arg(QString::fromStdString(entry.m_strName)));
}

void CQxProgView::OnDebug()
{
    CFileEntry entry;
    if (!SingleSelection(entry) || !EnsureTool(false))
        return;
    std::string path = CFileList::GetEntryPath(entry);
    if (CDesktopLauncher::OpenWithAssociation(path) == CDesktopLauncher::EResult::NoAssociation)
        CDesktopLauncher::Run(MakeToolLaunch(m_tools.Get().m_strDebugger, path));
}

void CQxProgView::OnEdit()
{
    CFileEntry entry;
    if (!SingleSelection(entry))
        return;
    std::string path = CFileList::GetEntryPath(entry);
    CToolSettingsValues settings = m_tools.Get();
    if (settings.m_bUseAssocApp &&
        CDesktopLauncher::OpenWithAssociation(path) != CDesktopLauncher::EResult::NoAssociation)
        return;
    // An empty editor setting means the desktop's text editor; without one the user is asked
    // for an editor, as Build and Debug ask for their tools.
    if (settings.m_strEditor.empty() &&
        CDesktopLauncher::OpenInTextEditor(path) == CDesktopLauncher::EResult::Launched)
        return;
    if (settings.m_strEditor.empty()) {
        if (m_prompt.ShowBox(kEditorMissing, kAppTitle, kBoxOkCancel) != kAnswerOk)
            return;
        if (m_callbacks.m_onOptions)
            m_callbacks.m_onOptions();
        settings = m_tools.Get();
        if (settings.m_strEditor.empty())
            return;
    }
    CDesktopLauncher::Run(MakeToolLaunch(settings.m_strEditor, path));
}

QStringList CQxProgView::ChooseFilesToAdd()
{
    const QStringList filters = {
        QStringLiteral("All Acceptable Files (*.obj *.bin *.hex *.ihx *.OBJ *.BIN *.HEX *.IHX)"),
        QStringLiteral("Object Files (*.obj *.OBJ)"),
        QStringLiteral("Binary Files (*.bin *.BIN)"),
        QStringLiteral("Hexa Files (*.hex *.ihx *.HEX *.IHX)"),
        QStringLiteral("All Files (*)"),
    };
    // Opens in the working folder (where the list file is), not the desktop's last place.
    QFileDialog dialog(this, QString(), QDir::currentPath());
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.first());
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

void CQxProgView::OnAdd()
{
    for (const QString& path : ChooseFilesToAdd())
        AddFile(ToBytes(path));
}

void CQxProgView::OnRemove()
{
    std::vector<int> rows = SelectedRows();
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        m_pModel->RemoveAt(*it);
    StatesChanged();
}

void CQxProgView::OnRemoveAll()
{
    m_pModel->RemoveAll();
    StatesChanged();
}

QMenu* CQxProgView::CreateContextMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("_FILELIST_"));
    for (const CMenuItem& item : kFileListMenu) {
        if (item.m_nID == 0) {
            menu->addSeparator();
            continue;
        }
        CCmdUI ui;
        ui.m_nID = item.m_nID;
        if (m_callbacks.m_updateCommand)
            m_callbacks.m_updateCommand(ui);
        else
            OnUpdateCommand(ui);
        std::string text = item.m_text;
        auto last = m_lastTexts.find(item.m_nID);
        if (ui.m_strText)
            text = *ui.m_strText;
        else if (last != m_lastTexts.end())
            text = last->second;
        QAction* action = menu->addAction(FromBytes(text));
        action->setData(item.m_nID);
        action->setEnabled(ui.m_bEnabled);
        const int id = item.m_nID;
        connect(action, &QAction::triggered, this, [this, id] {
            if (!m_callbacks.m_routeCommand || !m_callbacks.m_routeCommand(id))
                OnCommand(id);
        });
    }
    return menu;
}

void CQxProgView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = CreateContextMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    activateWindow();
    menu->popup(event->globalPos());
}

void CQxProgView::dragEnterEvent(QDragEnterEvent* event)
{
    // Files: the add cursor; folders alone: the no-entry cursor.
    if (HasDroppableFile(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void CQxProgView::dragMoveEvent(QDragMoveEvent* event)
{
    if (HasDroppableFile(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void CQxProgView::dropEvent(QDropEvent* event)
{
    std::vector<std::string> paths = DroppedPaths(event->mimeData());
    if (paths.empty()) {
        event->ignore();
        return;
    }
    for (const std::string& path : paths)
        AddFile(path);
    event->setDropAction(Qt::CopyAction);
    event->accept();
}
