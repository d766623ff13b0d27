#pragma once
// Command routing in the manner of the framework's message maps: the main frame offers each
// command, and each update of a command's state, to its targets in order (the file list view,
// the frame, the application object); the first that handles it wins. A command no target
// handles is disabled. Called on the GUI thread only.

#include <optional>
#include <string>

struct CCmdUI {
    int m_nID = 0;
    bool m_bEnabled = true;
    bool m_bChecked = false;
    // Set when the handler relabels the command (menu text, with '&' mnemonics).
    std::optional<std::string> m_strText;

    void Enable(bool enabled = true) { m_bEnabled = enabled; }
    void SetCheck(bool checked = true) { m_bChecked = checked; }
    void SetText(const std::string& text) { m_strText = text; }
};

class ICommandTarget {
public:
    virtual ~ICommandTarget() = default;
    // True when this target handled the command.
    virtual bool OnCommand(int id) = 0;
    // True when this target owns the command's state; it then sets ui.
    virtual bool OnUpdateCommand(CCmdUI& ui) = 0;
};
