#pragma once
// The one table of user commands: menu texts, status-bar prompts, tool tips, icons and keys, and
// the layouts of the menu bar, the toolbar and the view pop-up built from it. Constant data,
// safe from any thread.

#include <span>
#include <string_view>

struct CCommandInfo {
    int m_nID = 0;
    // Menu text with '&' mnemonics and, after a tab, the key shown (empty: no menu item).
    std::string_view m_strMenuText;
    // Status-bar prompt and tool tip.
    std::string_view m_strPrompt;
    std::string_view m_strToolTip;
    // The desktop theme's icon name (empty: none fits) and our own icon in the resources.
    std::string_view m_strThemeIcon;
    std::string_view m_strIcon;
    // Accelerator in the portable key text ("Ctrl+O"); empty: none. Debug shows F5 in its menu
    // text but F5 is bound to nothing.
    std::string_view m_strKey;
};

struct CMenuLayout {
    std::string_view m_strTitle;
    // Command ids in order; 0 is a separator.
    std::span<const int> m_ids;
};

// Every command the frame builds an action for.
std::span<const CCommandInfo> CommandTable();
// Null when id is not in the table.
const CCommandInfo* FindCommand(int id);
// The menu bar's pop-ups in order: menu 128's four, with the terminal's before Help.
std::span<const CMenuLayout> MainMenuLayout();
// Toolbar 128; 0 is a separator.
std::span<const int> ToolBarLayout();
