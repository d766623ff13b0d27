#pragma once
// CTerminationHandler: turns a termination request (SIGTERM from the session or kill, SIGINT,
// SIGHUP) into the Qt signal requested() on the GUI thread. The signal handler only writes a byte
// to a pipe; a socket notifier reads it in whatever event loop runs, a box's loop included. Made
// on the GUI thread before start-up can block; one at a time (the handler has one pipe).

#include <QObject>

class QSocketNotifier;

class CTerminationHandler : public QObject {
    Q_OBJECT
public:
    explicit CTerminationHandler(QObject* parent = nullptr);
    // Puts the default actions back.
    ~CTerminationHandler() override;
    CTerminationHandler(const CTerminationHandler&) = delete;
    CTerminationHandler& operator=(const CTerminationHandler&) = delete;

    // False when the handler could not be installed (the signals keep their default action).
    bool IsInstalled() const { return m_pNotifier != nullptr; }

signals:
    void requested();

private:
    QSocketNotifier* m_pNotifier = nullptr;
};
