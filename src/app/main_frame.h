#pragma once
// CMainFrame: the program's one top-level window. GUI thread only.

#include <QMainWindow>
#include <QStringList>

class CQxProgApp;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    CMainFrame(CQxProgApp& app, const QStringList& arguments, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Builds the bars and panes; false when a part of the window cannot be made.
    bool Create();
    // Shows the window, applying the placement saved at the last exit once.
    void ActivateFrame();
    // A second start asked this instance to come forward.
    void BringToFront();

    static constexpr int kDefaultWidth = 700;
    static constexpr int kDefaultHeight = 480;

private:
    CQxProgApp& m_app;
    QStringList m_arguments;
};
