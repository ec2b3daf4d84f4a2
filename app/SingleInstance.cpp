#include "app/SingleInstance.h"

#include "common/ProgramPaths.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tolbe::app {
namespace {

constexpr const char* kLockName = "instance.lock";
constexpr const char* kSocketName = "instance";
constexpr const char* kComeToFront = "front\n";

} // namespace

SingleInstance::SingleInstance(std::filesystem::path folder, QObject* parent)
    : QObject(parent), m_folder(std::move(folder)) {}

SingleInstance::~SingleInstance() {
    if (m_server != nullptr) m_server->close(); // removes the socket file
    if (m_lock >= 0) ::close(m_lock);           // and the lock goes with the descriptor
}

SingleInstance::Role SingleInstance::Claim(int wait_ms) {
    if (!MakePrivateFolder(m_folder)) return Role::Unguarded;
    const std::filesystem::path lock = m_folder / kLockName;
    const QString socket = QString::fromStdString((m_folder / kSocketName).string());

    // Close-on-exec: a setup program started by the live update must not inherit the lock.
    const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return Role::Unguarded;
    int taken = -1;
    do {
        taken = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (taken != 0 && errno == EINTR);
    if (taken == 0) {
        m_lock = fd;
        // A socket file left by a killed copy would refuse the new server; the lock proves it stale.
        QLocalServer::removeServer(socket);
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(m_server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* peer = m_server->nextPendingConnection()) {
                connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
                connect(peer, &QLocalSocket::readyRead, peer, [peer] { peer->readAll(); });
            }
            emit Activated();
        });
        // Without a socket this copy still holds the lock; later starts then end unheard.
        m_server->listen(socket);
        return Role::First;
    }
    const int why = errno;
    ::close(fd);
    if (why != EWOULDBLOCK) return Role::Unguarded;

    // The running copy may be between taking the lock and listening: try again until the deadline.
    QDeadlineTimer deadline(wait_ms);
    while (true) {
        QLocalSocket peer;
        peer.connectToServer(socket);
        if (peer.waitForConnected(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) {
            peer.write(kComeToFront);
            const bool sent = peer.waitForBytesWritten(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
            peer.disconnectFromServer();
            if (sent) return Role::HandedOver;
        }
        if (deadline.hasExpired()) return Role::Unreached;
        QThread::msleep(20);
    }
}

} // namespace tolbe::app
