#include "app/qx_prog_app.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillorex Programmer"));
    QApplication::setOrganizationName(QStringLiteral("Quillorex"));
    CQxProgApp app;
    if (!app.InitInstance(QApplication::arguments()))
        return 0;
    return QApplication::exec();
}
