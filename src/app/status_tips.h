#pragma once
// CStatusTips: keeps the status bar's word of what happened (a command's result, shown with
// QStatusBar::showMessage) apart from the prompts of what the pointer is on (the status tips of
// toolbar buttons and menu items). A prompt shows over the result; when the pointer leaves, or
// the menu closes, the result comes back for the rest of its time instead of the message before
// it. GUI thread only; made by the main window for its status bar and owned by it.

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QMainWindow;
class QStatusBar;

class CStatusTips : public QObject {
    Q_OBJECT
public:
    explicit CStatusTips(QMainWindow& window);

    // The last result still due (empty: none).
    QString Result() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowPrompt(const QString& tip);

    QMainWindow& m_window;
    QStatusBar* m_pBar = nullptr;
    bool m_bPrompting = false;
    QString m_strResult;
    // How long the result was to show (0: until replaced), from m_shown.
    int m_nResultMs = 0;
    QElapsedTimer m_shown;
};
