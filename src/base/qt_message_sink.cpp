#include "base/qt_message_sink.h"

#include <QCoreApplication>

#include <map>
#include <mutex>
#include <set>

namespace {
class CPostedEvent : public QEvent {
public:
    CPostedEvent(QEvent::Type type, CPostedMessage message) : QEvent(type), m_message(std::move(message)) {}
    CPostedMessage m_message;
};

std::mutex g_typeMutex;
std::map<unsigned, QEvent::Type> g_types;
std::set<int> g_ourTypes;
} // namespace

CQtMessageSink::CQtMessageSink(Handler handler, QObject* parent) : QObject(parent), m_handler(std::move(handler))
{
}

QEvent::Type CQtMessageSink::EventTypeFor(unsigned msg)
{
    std::lock_guard lock(g_typeMutex);
    auto it = g_types.find(msg);
    if (it != g_types.end())
        return it->second;
    auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    g_types.emplace(msg, type);
    g_ourTypes.insert(type);
    return type;
}

void CQtMessageSink::Post(CPostedMessage message)
{
    QEvent::Type type = EventTypeFor(message.m_nMsg);
    QCoreApplication::postEvent(this, new CPostedEvent(type, std::move(message)));
}

void CQtMessageSink::customEvent(QEvent* event)
{
    {
        std::lock_guard lock(g_typeMutex);
        if (!g_ourTypes.count(event->type()))
            return QObject::customEvent(event);
    }
    if (m_handler)
        m_handler(static_cast<CPostedEvent*>(event)->m_message);
}
