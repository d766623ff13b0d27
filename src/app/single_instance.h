#pragma once
// CSingleInstance: one running program per user and settings folder. The first start listens on
// a local socket named from "QxProgMainFrmCls", the user id and the settings folder; a later
// start connects, asks the first to come forward and ends. The check and the listen happen under
// an flock on a lock file beside the socket, removed again once they are done, so that two
// simultaneous starts give one window and no run leaves the file behind; the kernel drops the
// lock of a crashed instance and its stale socket and lock file are replaced. GUI thread only.

#include <QLocalServer>
#include <QObject>
#include <QString>

class CSingleInstance : public QObject {
    Q_OBJECT
public:
    explicit CSingleInstance(QString key = DefaultKey(), QObject* parent = nullptr);
    ~CSingleInstance() override;

    // True when this process is the first instance (it now serves later starts); false when a
    // running instance was found and asked to come forward.
    bool Acquire();

    static QString DefaultKey();
    // Where the socket and the lock file live for a key.
    static QString SocketPath(const QString& key);

signals:
    void activationRequested();

private:
    void OnNewConnection();

    QString m_strKey;
    QLocalServer m_server;
};
