#include "app/termination_handler.h"

#include "base/termination_signals.h"

#include <QSocketNotifier>

CTerminationHandler::CTerminationHandler(QObject* parent) : QObject(parent)
{
    const std::intptr_t handle = CTerminationSignals::InstallNotifier();
    if (handle < 0)
        return;
    m_pNotifier = new QSocketNotifier(static_cast<qintptr>(handle), QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, [this] {
        CTerminationSignals::DrainNotifier();
        emit requested();
    });
}

CTerminationHandler::~CTerminationHandler()
{
    if (!m_pNotifier)
        return;
    // The notifier goes before the handle it watches is closed.
    delete m_pNotifier;
    CTerminationSignals::RemoveNotifier();
}
