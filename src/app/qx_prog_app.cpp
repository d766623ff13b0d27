#include "app/qx_prog_app.h"

#include "app/main_frame.h"
#include "app/command_table.h"
#include "app/user_guide.h"
#include "base/commands.h"

#include "files/options_dlg.h"
#include "ui/about_dlg.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QTimer>
#include <QUrl>

CQxProgApp::CQxProgApp() = default;

CQxProgApp::~CQxProgApp()
{
    // The window goes before the settings, the board commands and the prompt it refers to.
    m_pMainWnd.reset();
}

bool CQxProgApp::InitInstance(const QStringList& arguments)
{
    // 1. Another instance: ask it to come forward and end without touching the settings.
    m_pInstance = std::make_unique<CSingleInstance>();
    if (!m_pInstance->Acquire())
        return false;

    // 2-3. No OLE or control container on this platform: nothing to initialise.

    // 4. The settings store (organisation "Quillorex", application "Quillorex Programmer").
    m_pStore = std::make_unique<CQtSettingsStore>();

    // 5. Tool settings and the start directory.
    m_toolSettings.LoadToolSettings(*m_pStore);
    m_boardCommands.LoadBoardCommands(*m_pStore);

    // 6-9. The main window (it reads the port settings and its saved layout).
    m_pMainWnd = std::make_unique<CMainFrame>(*m_pStore, m_toolSettings, m_boardCommands, m_prompt, arguments);
    m_prompt.SetOwner(m_pMainWnd.get());
    m_pMainWnd->SetAppTarget(this);
    if (!m_pMainWnd->Create())
        return false;
    QObject::connect(m_pInstance.get(), &CSingleInstance::activationRequested, m_pMainWnd.get(),
                     &CMainFrame::BringToFront);

    // 10. Show it with the placement saved at the last exit.
    m_pMainWnd->ActivateFrame();
    m_bCreated = true;
    // Asked to end while start-up was busy (a box about the port, say): close once running.
    if (m_bTerminating)
        QTimer::singleShot(0, m_pMainWnd.get(), &QWidget::close);
    return true;
}

void CQxProgApp::Terminate()
{
    m_bTerminating = true;
    m_prompt.SetQuiet(true);
    // Each box, dialog and pop-up menu returns to its caller as cancelled; the close below runs
    // once their event loops have unwound.
    while (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible())
            dialog->reject();
    if (m_bCreated)
        QTimer::singleShot(0, m_pMainWnd.get(), &QWidget::close);
}

bool CQxProgApp::OnCommand(int id)
{
    switch (id) {
    case cmd::ID_APP_ABOUT: {
        CAboutDlg about(*m_pStore, m_pMainWnd.get());
        about.exec();
        return true;
    }
    case cmd::ID_HELP_VISIT:
        OpenMakerWebSite();
        return true;
    case cmd::ID_HELP_USER_GUIDE:
        OpenUserGuide();
        return true;
    case cmd::ID_TOOLS_OPTIONS:
        COptionsDlg::OnOptions(m_pMainWnd.get(), m_toolSettings, m_boardCommands, *m_pStore);
        return true;
    default:
        return false;
    }
}

bool CQxProgApp::OnUpdateCommand(CCmdUI& ui)
{
    switch (ui.m_nID) {
    case cmd::ID_APP_ABOUT:
    case cmd::ID_HELP_VISIT:
    case cmd::ID_HELP_USER_GUIDE:
    case cmd::ID_TOOLS_OPTIONS:
        ui.Enable(true);
        return true;
    default:
        return false;
    }
}

void CQxProgApp::OpenUserGuide()
{
    const std::string exeDir = QCoreApplication::applicationDirPath().toStdString();
    const std::string guide = FindUserGuide(exeDir, QX_BUILD_DOC_DIR);
    if (guide.empty()) {
        m_prompt.ShowBox("The User Guide is not installed.\n\nIt belongs at " + InstalledUserGuidePath(exeDir) +
                                "; reinstall the program, or read README.md in the sources.",
                            "Quillorex Programmer", kBoxOk | kBoxIconWarning);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(guide))))
        m_prompt.ShowBox("The User Guide could not be opened.\n\nNo application opens " + guide +
                                "; install a web browser, or open the file by hand.",
                            "Quillorex Programmer", kBoxOk | kBoxIconWarning);
}
