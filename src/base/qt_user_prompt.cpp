#include "base/qt_user_prompt.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>

int CQtUserPrompt::ShowBox(const std::string& text, const std::string& caption, unsigned type)
{
    QString qText = QString::fromStdString(text);
    qText.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QString qCaption = caption.empty() ? QStringLiteral("Error") : QString::fromStdString(caption);
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        return Show(qText, qCaption, type);
    int result = kAnswerCancel;
    QMetaObject::invokeMethod(
        app, [&] { result = Show(qText, qCaption, type); }, Qt::BlockingQueuedConnection);
    return result;
}

int CQtUserPrompt::Show(const QString& text, const QString& caption, unsigned type)
{
    if (m_bQuiet)
        return (type & 0x0F) == kBoxOk ? kAnswerOk : (type & 0x0F) == kBoxYesNo ? kAnswerNo : kAnswerCancel;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (type & 0xF0) {
    case kBoxIconError: icon = QMessageBox::Critical; break;
    case kBoxIconQuestion: icon = QMessageBox::Question; break;
    case kBoxIconWarning: icon = QMessageBox::Warning; break;
    case kBoxIconInformation: icon = QMessageBox::Information; break;
    default: break;
    }
    QMessageBox box(icon, caption, text, QMessageBox::NoButton, m_owner.data());
    switch (type & 0x0F) {
    case kBoxOkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case kBoxYesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok: return kAnswerOk;
    case QMessageBox::Yes: return kAnswerYes;
    case QMessageBox::No: return kAnswerNo;
    default: return (type & 0x0F) == kBoxOk ? kAnswerOk : kAnswerCancel;
    }
}
