#pragma once
// CQtMessageSink: IMessageSink for the GUI. Post() may be called from any thread; each event
// becomes one posted Qt event (of one type, registered with Qt once) and the handler runs on the
// thread that owns this object, in posting order. Destroying the sink drops what is still
// queued; join the posting threads first.

#include "base/message_sink.h"

#include <QEvent>
#include <QObject>

#include <functional>

class CQtMessageSink : public QObject, public IMessageSink {
    Q_OBJECT
public:
    using Handler = std::function<void(const CPostedEvent&)>;

    explicit CQtMessageSink(Handler handler, QObject* parent = nullptr);

    void Post(CPostedEvent event) override;

    // The Qt event type that carries a posted event.
    static QEvent::Type EventType();

protected:
    void customEvent(QEvent* event) override;

private:
    Handler m_handler;
};
