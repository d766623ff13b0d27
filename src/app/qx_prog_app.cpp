#include "app/qx_prog_app.h"

#include "app/main_frame.h"

namespace {
CQxProgApp* g_pApp = nullptr;
}

CQxProgApp::CQxProgApp()
{
    g_pApp = this;
}

CQxProgApp::~CQxProgApp()
{
    m_pMainWnd.reset();
    g_pApp = nullptr;
}

CQxProgApp* CQxProgApp::Instance()
{
    return g_pApp;
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

    // 6-9. The main window (it reads the port settings and its saved layout).
    m_pMainWnd = std::make_unique<CMainFrame>(*this, arguments);
    if (!m_pMainWnd->Create())
        return false;
    QObject::connect(m_pInstance.get(), &CSingleInstance::activationRequested, m_pMainWnd.get(),
                     &CMainFrame::BringToFront);

    // 10. Show it with the placement saved at the last exit.
    m_pMainWnd->ActivateFrame();
    return true;
}
