#pragma once
// CStatusPanes: the status bar's panes that give way to its message (the port, the log, the
// counters). One permanent widget of the bar holding the panes side by side: it asks for the
// width that leaves the message (or the bar's temporary message) room for its whole text, and no
// less than the panes' minimums, so the panes elide before the message is cut; the widths come
// from CPaneFit. GUI thread only; owned by the status bar, the panes by it.

#include <QWidget>

#include <vector>

struct CPaneWidths;
class QLabel;
class QStatusBar;

class CStatusPanes : public QWidget {
    Q_OBJECT
public:
    // message: the bar's normal message, left of these panes.
    CStatusPanes(QStatusBar& bar, QLabel& message);

    // Takes the pane (made with this as its parent, or reparented here), right of the others.
    void AddPane(QWidget* pane);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    std::vector<CPaneWidths> Widths() const;
    std::vector<QWidget*> ShownPanes() const;
    int Gaps() const;
    void ScheduleRefit();
    void Refit();
    void Arrange();

    QStatusBar& m_bar;
    QLabel& m_message;
    std::vector<QWidget*> m_panes;
    int m_nGap = 6;
    int m_nWanted = -1;
    int m_nMessageLeft = 0;
    bool m_bRefitPending = false;
};
