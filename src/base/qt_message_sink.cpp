#include "base/qt_message_sink.h"

#include <QCoreApplication>

namespace {
class CPostedQtEvent : public QEvent {
public:
    explicit CPostedQtEvent(CPostedEvent event) : QEvent(CQtMessageSink::EventType()), m_event(std::move(event)) {}
    CPostedEvent m_event;
};
} // namespace

CQtMessageSink::CQtMessageSink(Handler handler, QObject* parent) : QObject(parent), m_handler(std::move(handler))
{
}

QEvent::Type CQtMessageSink::EventType()
{
    // Thread-safe: the first poster registers it.
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void CQtMessageSink::Post(CPostedEvent event)
{
    QCoreApplication::postEvent(this, new CPostedQtEvent(std::move(event)));
}

void CQtMessageSink::customEvent(QEvent* event)
{
    if (event->type() != EventType())
        return QObject::customEvent(event);
    if (m_handler)
        m_handler(static_cast<CPostedQtEvent*>(event)->m_event);
}
