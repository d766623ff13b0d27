#include "app/main_frame.h"

#include "app/qx_prog_app.h"
#include "app/user_prompt.h"

CMainFrame::CMainFrame(CQxProgApp& app, const QStringList& arguments, QWidget* parent)
    : QMainWindow(parent), m_app(app), m_arguments(arguments)
{
    setWindowTitle(QString::fromLatin1(kAppTitle));
    resize(kDefaultWidth, kDefaultHeight);
}

CMainFrame::~CMainFrame() = default;

bool CMainFrame::Create()
{
    return true;
}

void CMainFrame::ActivateFrame()
{
    show();
}

void CMainFrame::BringToFront()
{
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}
