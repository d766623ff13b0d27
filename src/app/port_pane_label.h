#pragma once
// CPortPaneLabel: the status bar's port pane. Shows the port text, greyed with "(closed)" while
// the port is closed, and reports clicks: a left click and a right click each raise their own
// command in the main frame. GUI thread only; owned by the status bar.

#include "ui/elided_label.h"

class CPortPaneLabel : public CElidedLabel {
    Q_OBJECT
public:
    static constexpr const char* kTextClosed = " (closed)";

    // The pane asks for its text's width; given less, it elides the text.
    explicit CPortPaneLabel(QWidget* parent = nullptr);

    // The port's text and whether it is open now.
    void SetPortName(const QString& text, bool open);
    bool IsPortOpen() const { return m_bOpen; }

signals:
    void leftClicked();
    void rightClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void ApplyColour();

    bool m_bOpen = true;
};
