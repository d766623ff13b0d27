#pragma once
// CPortPaneLabel: the status bar's port pane. Shows the port text and reports clicks: a left
// click and a right click each raise their own command in the main frame. GUI thread only;
// owned by the status bar.

#include <QLabel>

class CPortPaneLabel : public QLabel {
    Q_OBJECT
public:
    // sizingText fixes the pane's width (the widest text the pane is meant for).
    CPortPaneLabel(const QString& sizingText, QWidget* parent = nullptr);

signals:
    void leftClicked();
    void rightClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
};
