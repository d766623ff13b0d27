#pragma once
// CShellContextMenu: the desktop's commands for one browser item, built from GIO: Open, Open
// With (one entry per application for the item's content type), Open Containing Folder, Copy
// Path, Rename..., Move to Trash, Delete, Properties. AttachItem chooses the item; QueryMenu puts
// the entries, numbered from idFirst, at the top of a menu, each with its help text as status
// tip; InvokeCommand carries one out after the menu has closed. Commands that change the disk
// first check that the name still stands for the file that was listed. GUI thread only.

#include "browser/shell_folder.h"
#include "base/user_prompt.h"

#include <string>
#include <vector>

class QMenu;
class QWidget;

class CShellContextMenu {
public:
    enum class ECommand { Open, OpenWith, OpenContainingFolder, CopyPath, Rename, Trash, Delete, Properties };

    explicit CShellContextMenu(IUserPrompt& prompt) : m_prompt(prompt) {}
    virtual ~CShellContextMenu() = default;

    // False when the item has no file-system path (nothing can be offered for it).
    bool AttachItem(const ShellItemData& record);
    bool QueryMenu(QMenu* menu, unsigned idFirst, unsigned idLast);
    bool GetHelpText(unsigned id, std::string& text) const;
    // True when the command was carried out.
    bool InvokeCommand(unsigned id, QWidget* owner);

    unsigned FirstId() const { return m_idFirst; }
    unsigned LastId() const { return m_idLast; }
    // The command an identifier stands for; false outside the range.
    bool CommandOf(unsigned id, ECommand& command) const;

private:
    struct CEntry {
        ECommand m_command;
        std::string m_strText;
        std::string m_strHelp;
        std::string m_strAppId;
    };
    const CEntry* EntryOf(unsigned id) const;
    bool Rename(QWidget* owner);
    bool Delete();
    bool ShowProperties();
    void ReportFailure(const std::string& text, const std::string& detail);

    IUserPrompt& m_prompt;
    bool m_bAttached = false;
    std::string m_strPath;
    std::string m_strName;
    std::string m_strContentType;
    bool m_bFolder = false;
    CFileIdentity m_identity;
    std::vector<CEntry> m_entries;
    unsigned m_idFirst = 0;
    unsigned m_idLast = 0;
};
