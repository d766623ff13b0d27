#include "base/qt_user_prompt.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>

int CQtUserPrompt::MessageBox(const std::string& text, const std::string& caption, unsigned type)
{
    QString qText = QString::fromStdString(text);
    qText.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QString qCaption = caption.empty() ? QStringLiteral("Error") : QString::fromStdString(caption);
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        return Show(qText, qCaption, type);
    int result = IDCANCEL;
    QMetaObject::invokeMethod(
        app, [&] { result = Show(qText, qCaption, type); }, Qt::BlockingQueuedConnection);
    return result;
}

int CQtUserPrompt::Show(const QString& text, const QString& caption, unsigned type)
{
    if (m_bQuiet)
        return (type & 0x0F) == MB_OK ? IDOK : (type & 0x0F) == MB_YESNO ? IDNO : IDCANCEL;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (type & 0xF0) {
    case MB_ICONERROR: icon = QMessageBox::Critical; break;
    case MB_ICONQUESTION: icon = QMessageBox::Question; break;
    case MB_ICONWARNING: icon = QMessageBox::Warning; break;
    case MB_ICONINFORMATION: icon = QMessageBox::Information; break;
    default: break;
    }
    QMessageBox box(icon, caption, text, QMessageBox::NoButton, m_owner.data());
    switch (type & 0x0F) {
    case MB_OKCANCEL:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MB_YESNO:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok: return IDOK;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default: return (type & 0x0F) == MB_OK ? IDOK : IDCANCEL;
    }
}
