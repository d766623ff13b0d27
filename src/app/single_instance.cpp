#include "app/single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int kConnectTimeoutMs = 2000;
constexpr QByteArrayView kRequest = "activate\n";

// Holds an exclusive flock on the lock file for its lifetime and removes the file before letting
// go, so no run leaves it behind. A start that waited on a file the holder has just removed
// takes the lock again on the file now at the path; a no-op when no lock file can be made.
class CLockFileGuard {
public:
    explicit CLockFileGuard(const QString& path) : m_strPath(QFile::encodeName(path))
    {
        // Each turn means another start removed the file while this one waited: a few suffice.
        for (int attempt = 0; attempt < 8 && m_fd < 0; ++attempt) {
            const int fd = ::open(m_strPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (fd < 0) {
                // A file of ours that cannot be opened (a crash left it with other rights) goes.
                if (errno == EACCES && attempt == 0 && ::unlink(m_strPath.constData()) == 0)
                    continue;
                return;
            }
            while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
            }
            struct stat held {};
            struct stat atPath {};
            if (::fstat(fd, &held) == 0 && ::stat(m_strPath.constData(), &atPath) == 0 &&
                held.st_dev == atPath.st_dev && held.st_ino == atPath.st_ino)
                m_fd = fd;
            else
                ::close(fd);
        }
    }
    ~CLockFileGuard()
    {
        if (m_fd < 0)
            return;
        ::unlink(m_strPath.constData());
        ::close(m_fd);
    }
    CLockFileGuard(const CLockFileGuard&) = delete;
    CLockFileGuard& operator=(const CLockFileGuard&) = delete;

private:
    QByteArray m_strPath;
    int m_fd = -1;
};
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
    return QStringLiteral("QxProgMainFrmCls-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash));
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
    CLockFileGuard lock(path + QStringLiteral(".lock"));

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
