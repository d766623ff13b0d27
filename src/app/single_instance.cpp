#include "app/single_instance.h"

#include "app/instance_lock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {
constexpr int kConnectTimeoutMs = 2000;
constexpr QByteArrayView kRequest = "activate\n";
} // namespace

CSingleInstance::CSingleInstance(QString key, QObject* parent) : QObject(parent), m_strKey(std::move(key))
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &CSingleInstance::OnNewConnection);
}

CSingleInstance::~CSingleInstance()
{
    m_server.close();
}

QString CSingleInstance::DefaultKey()
{
    // The settings folder is part of the key, so runs with their own XDG_CONFIG_HOME (tests) are
    // separate; reading its location touches no setting.
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    QByteArray hash = QCryptographicHash::hash(config.toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    return QStringLiteral("QxProgMainFrmCls-%1-%2").arg(CInstanceLock::UserNumber()).arg(QString::fromLatin1(hash));
}

QString CSingleInstance::SocketPath(const QString& key)
{
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty() || !QFileInfo(dir).isDir() || !QFileInfo(dir).isWritable())
        dir = QDir::tempPath();
    return dir + '/' + key;
}

bool CSingleInstance::Acquire()
{
    const QString path = SocketPath(m_strKey);
    const QByteArray lockPath = QFile::encodeName(path + QStringLiteral(".lock"));
    CInstanceLock lock(std::string(lockPath.constData(), static_cast<std::size_t>(lockPath.size())));

    QLocalSocket socket;
    socket.connectToServer(path);
    if (socket.waitForConnected(kConnectTimeoutMs)) {
        socket.write(kRequest.data(), kRequest.size());
        socket.flush();
        socket.waitForBytesWritten(kConnectTimeoutMs);
        socket.disconnectFromServer();
        return false;
    }
    // Nobody answers: whatever is left at the path is a crashed instance's endpoint.
    QLocalServer::removeServer(path);
    m_server.listen(path);
    return true;
}

void CSingleInstance::OnNewConnection()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->readAll().contains("activate"))
                emit activationRequested();
        });
    }
}
