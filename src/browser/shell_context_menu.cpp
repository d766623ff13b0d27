#include "browser/shell_context_menu.h"

#include "base/system_error.h"
#include "browser/desktop_apps.h"
#include "browser/file_system.h"
#include "browser/shell_file_ops.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QInputDialog>
#include <QMenu>

namespace {

std::string ParentOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string PermissionText(unsigned mode)
{
    std::string text = "---------";
    const char* letters = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i) {
        if ((mode & (0400u >> i)) != 0)
            text[static_cast<std::size_t>(i)] = letters[i];
    }
    return text;
}

} // namespace

bool CShellContextMenu::AttachItem(const ShellItemData& record)
{
    m_entries.clear();
    m_idFirst = 0;
    m_idLast = 0;
    m_strPath = GetPidlPath(record.m_pidl);
    m_bAttached = !m_strPath.empty();
    if (!m_bAttached)
        return false;
    m_strName = record.m_strName;
    m_bFolder = record.IsFolder();
    m_identity = record.m_identity;
    m_strContentType = CDesktopApps::ContentTypeOf(m_strPath, m_bFolder);
    return true;
}

bool CShellContextMenu::QueryMenu(QMenu* menu, unsigned idFirst, unsigned idLast)
{
    m_entries.clear();
    if (!m_bAttached || menu == nullptr || idLast < idFirst) {
        m_idFirst = 0;
        m_idLast = 0;
        return false;
    }
    m_entries.push_back({ECommand::Open, "&Open", "Opens the item with the desktop's default application", {}});
    for (const CDesktopApp& app : CDesktopApps::AppsForType(m_strContentType))
        m_entries.push_back({ECommand::OpenWith, app.m_strName, "Opens the item with " + app.m_strName, app.m_strId});
    m_entries.push_back({ECommand::OpenContainingFolder, "Open Containing &Folder",
                         "Opens the folder that holds the item", {}});
    m_entries.push_back({ECommand::CopyPath, "&Copy Path", "Copies the item's full path to the clipboard", {}});
    m_entries.push_back({ECommand::Rename, "Rena&me...", "Gives the item another name", {}});
    m_entries.push_back({ECommand::Trash, "Move to &Trash", "Moves the item to the desktop's trash", {}});
    m_entries.push_back({ECommand::Delete, "&Delete", "Deletes the file", {}});
    m_entries.push_back({ECommand::Properties, "P&roperties", "Shows the item's type, size, date and permissions", {}});
    if (m_entries.size() > idLast - idFirst + 1)
        m_entries.resize(idLast - idFirst + 1);
    m_idFirst = idFirst;
    m_idLast = idFirst + static_cast<unsigned>(m_entries.size()) - 1;

    // The entries go above what the menu already holds (its trailing separator).
    QAction* before = menu->actions().isEmpty() ? nullptr : menu->actions().front();
    QMenu* openWith = nullptr;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const CEntry& entry = m_entries[i];
        auto* action = new QAction(QString::fromStdString(entry.m_strText), menu);
        action->setData(static_cast<int>(idFirst + i));
        action->setStatusTip(QString::fromStdString(entry.m_strHelp));
        if (entry.m_command == ECommand::OpenWith) {
            if (openWith == nullptr) {
                openWith = new QMenu(QStringLiteral("Open &With"), menu);
                openWith->menuAction()->setStatusTip(QStringLiteral("Opens the item with another application"));
                menu->insertMenu(before, openWith);
            }
            openWith->addAction(action);
            continue;
        }
        if (entry.m_command == ECommand::CopyPath || entry.m_command == ECommand::Properties)
            menu->insertSeparator(before);
        menu->insertAction(before, action);
    }
    return true;
}

const CShellContextMenu::CEntry* CShellContextMenu::EntryOf(unsigned id) const
{
    if (m_entries.empty() || id < m_idFirst || id > m_idLast)
        return nullptr;
    return &m_entries[id - m_idFirst];
}

bool CShellContextMenu::CommandOf(unsigned id, ECommand& command) const
{
    const CEntry* entry = EntryOf(id);
    if (entry == nullptr)
        return false;
    command = entry->m_command;
    return true;
}

bool CShellContextMenu::GetHelpText(unsigned id, std::string& text) const
{
    const CEntry* entry = EntryOf(id);
    if (entry == nullptr)
        return false;
    text = entry->m_strHelp;
    return true;
}

bool CShellContextMenu::InvokeCommand(unsigned id, QWidget* owner)
{
    const CEntry* entry = EntryOf(id);
    if (entry == nullptr)
        return false;
    std::string failure;
    switch (entry->m_command) {
    case ECommand::Open:
        failure = CDesktopApps::OpenDefault(m_strPath);
        break;
    case ECommand::OpenWith:
        failure = CDesktopApps::OpenWith(entry->m_strAppId, m_strContentType, m_strPath);
        break;
    case ECommand::OpenContainingFolder:
        failure = CDesktopApps::OpenDefault(ParentOf(m_strPath));
        break;
    case ECommand::CopyPath:
        QApplication::clipboard()->setText(QString::fromStdString(m_strPath));
        return true;
    case ECommand::Rename:
        return Rename(owner);
    case ECommand::Trash:
        if (std::error_code error = CheckFileIdentity(m_strPath, m_identity)) {
            ShowSystemError(m_prompt, error, "An error occured while moving the file to the trash.", m_strPath);
            return false;
        }
        failure = CDesktopApps::Trash(m_strPath);
        if (!failure.empty()) {
            ReportFailure("An error occured while moving the file to the trash.", failure);
            return false;
        }
        return true;
    case ECommand::Delete:
        return Delete();
    case ECommand::Properties:
        return ShowProperties();
    }
    if (!failure.empty()) {
        ReportFailure("An error occured while opening the file.", failure);
        return false;
    }
    return true;
}

bool CShellContextMenu::Rename(QWidget* owner)
{
    bool accepted = false;
    const QString name = QInputDialog::getText(owner, QStringLiteral("Rename"), QStringLiteral("New name:"),
                                               QLineEdit::Normal, QString::fromStdString(m_strName), &accepted);
    if (!accepted || name.toStdString() == m_strName)
        return false;
    const std::string newName = name.toStdString();
    if (newName.empty() || newName == "." || newName == ".." || newName.find('/') != std::string::npos) {
        m_prompt.ShowBox("A name cannot be empty, \".\", \"..\" or hold a \"/\".", kAppTitle, kBoxOk | kBoxIconWarning);
        return false;
    }
    const std::string destination = ParentOf(m_strPath) + (ParentOf(m_strPath) == "/" ? "" : "/") + newName;
    if (std::error_code error = MoveShellFile(m_strPath, destination, m_identity)) {
        ShowSystemError(m_prompt, error, "An error occured while renaming the file.", m_strPath);
        return false;
    }
    return true;
}

bool CShellContextMenu::Delete()
{
    if (m_prompt.ShowBox("Are you sure?", "Confirm to delete the file", kBoxYesNo) != kAnswerYes)
        return false;
    if (std::error_code error = DeleteShellFile(m_strPath, m_identity)) {
        ShowSystemError(m_prompt, error, "An error occured while deleting the file.", m_strPath);
        return false;
    }
    return true;
}

bool CShellContextMenu::ShowProperties()
{
    file_system::CStatus lst;
    if (const std::error_code error = file_system::LinkStatus(m_strPath, lst)) {
        ShowSystemError(m_prompt, error, "An error occured while reading the file's properties.", m_strPath);
        return false;
    }
    std::string text = "Name: " + m_strName + "\r\nLocation: " + ParentOf(m_strPath) + "\r\nType: " + m_strContentType;
    if (lst.m_kind == file_system::EKind::Link) {
        std::string target;
        if (!file_system::ReadLink(m_strPath, target))
            text += "\r\nLink to: " + target;
    }
    file_system::CStatus st = lst;
    file_system::Status(m_strPath, st);
    if (st.m_kind != file_system::EKind::Directory)
        text += "\r\nSize: " + std::to_string(static_cast<long long>(st.m_nSize)) + " bytes";
    const QDateTime modified = QDateTime::fromSecsSinceEpoch(st.m_nModified);
    text += "\r\nModified: " + modified.toString(Qt::ISODate).toStdString();
    text += "\r\nPermissions: " + PermissionText(st.m_nPermissions);
    m_prompt.ShowBox(text, "Properties", kBoxOk | kBoxIconInformation);
    return true;
}

void CShellContextMenu::ReportFailure(const std::string& text, const std::string& detail)
{
    m_prompt.ShowBox(text + "\r\n\r\n" + detail, std::string(), kBoxOk);
}
