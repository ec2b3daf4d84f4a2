#include "app/SingleInstance.h"

#include "common/ProgramPaths.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tolbe::app {
namespace {

constexpr const char* kLockName = "instance.lock";
constexpr const char* kSocketName = "instance";
constexpr const char* kComeToFront = "front\n";
// A later start says its word at once; one that stays silent this long is dropped, so held
// connections never use up the descriptors the server needs to go on listening.
constexpr int kPeerSilence_ms = 2000;
// How often the server is checked, and listens again after it stopped (out of descriptors).
constexpr int kListenCheck_ms = 1000;

} // namespace

SingleInstance::SingleInstance(std::filesystem::path folder, QObject* parent)
    : QObject(parent), m_folder(std::move(folder)) {}

SingleInstance::~SingleInstance() {
    if (m_server != nullptr) m_server->close(); // removes the socket file
    if (m_lock >= 0) ::close(m_lock);           // and the lock goes with the descriptor
}

SingleInstance::Role SingleInstance::Claim(int wait_ms) {
    if (!MakePrivateFolder(m_folder)) {
        m_problem = m_folder.string() + " is not a folder that only this user can reach (another user may have made "
                                        "it); remove it, or set XDG_RUNTIME_DIR to a private folder of your own";
        return Role::Unguarded;
    }
    const std::filesystem::path lock = m_folder / kLockName;
    const QString socket = QString::fromStdString((m_folder / kSocketName).string());

    // Close-on-exec: a setup program started by the live update must not inherit the lock.
    const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        m_problem = "cannot open " + lock.string() + ": " + std::strerror(errno);
        return Role::Unguarded;
    }
    int taken = -1;
    do {
        taken = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (taken != 0 && errno == EINTR);
    if (taken == 0) {
        m_lock = fd;
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(m_server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* peer = m_server->nextPendingConnection()) {
                connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
                connect(peer, &QLocalSocket::readyRead, peer, [peer] {
                    peer->readAll();
                    peer->disconnectFromServer();
                });
                QTimer::singleShot(kPeerSilence_ms, peer, [peer] {
                    peer->abort();
                    peer->deleteLater();
                });
            }
            emit Activated();
        });
        Listen();
        // Qt closes a server whose accept failed (out of descriptors) and never listens again by
        // itself: later starts would find the lock held and nobody to hand over to.
        auto* watch = new QTimer(this);
        connect(watch, &QTimer::timeout, this, [this] {
            if (!m_server->isListening()) Listen();
        });
        watch->start(kListenCheck_ms);
        return Role::First;
    }
    const int why = errno;
    ::close(fd);
    if (why != EWOULDBLOCK) {
        m_problem = "cannot lock " + lock.string() + ": " + std::strerror(why);
        return Role::Unguarded;
    }

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

void SingleInstance::Listen() {
    const QString socket = QString::fromStdString((m_folder / kSocketName).string());
    // A socket file left by a killed copy, or by this one's closed server, would refuse the new
    // server; the lock this copy holds proves it stale.
    QLocalServer::removeServer(socket);
    m_server->listen(socket);
}

} // namespace tolbe::app
