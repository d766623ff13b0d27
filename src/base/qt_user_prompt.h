#pragma once
// CQtUserPrompt: message boxes with QMessageBox. From the GUI thread the box is shown at once;
// from another thread the GUI thread shows it while the caller waits for the answer (the GUI
// thread must keep running its event loop meanwhile). Once quiet (the program is ending) no box
// shows: each call returns the answer of a box closed without a choice.

#include "base/user_prompt.h"

#include <QPointer>
#include <QWidget>

class CQtUserPrompt : public IUserPrompt {
public:
    explicit CQtUserPrompt(QWidget* owner = nullptr) : m_owner(owner) {}
    void SetOwner(QWidget* owner) { m_owner = owner; }
    void SetQuiet(bool quiet) { m_bQuiet = quiet; }

    int ShowBox(const std::string& text, const std::string& caption, unsigned type) override;

private:
    int Show(const QString& text, const QString& caption, unsigned type);
    QPointer<QWidget> m_owner;
    // GUI thread only.
    bool m_bQuiet = false;
};
