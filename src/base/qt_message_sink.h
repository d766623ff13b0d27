#pragma once
// CQtMessageSink: IMessageSink for the GUI. Post() may be called from any thread; each message
// becomes one posted event (one event type per message number, registered with Qt once) and the
// handler runs on the thread that owns this object, in posting order. Destroying the sink drops
// what is still queued; join the posting threads first.

#include "base/message_sink.h"

#include <QEvent>
#include <QObject>

#include <functional>

class CQtMessageSink : public QObject, public IMessageSink {
    Q_OBJECT
public:
    using Handler = std::function<void(const CPostedMessage&)>;

    explicit CQtMessageSink(Handler handler, QObject* parent = nullptr);

    using IMessageSink::Post;
    void Post(CPostedMessage message) override;

    // The Qt event type that carries message number msg.
    static QEvent::Type EventTypeFor(unsigned msg);

protected:
    void customEvent(QEvent* event) override;

private:
    Handler m_handler;
};
