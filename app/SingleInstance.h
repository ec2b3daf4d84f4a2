#pragma once

#include <QObject>

#include <filesystem>
#include <string>

class QLocalServer;

namespace tolbe::app {

// One running copy per user. The first start holds a lock in the user's runtime folder and listens
// on a local socket beside it; a later start finds the lock held, asks the running copy to come to
// the front and ends, before it touches anything the running copy owns (the mixer levels above
// all). The kernel drops the lock of a copy that dies, so a killed copy never blocks a new start.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Role {
        First,      // this copy runs; later starts reach it through Activated
        HandedOver, // another copy runs and was asked to come to the front: end now
        Unreached,  // another copy holds the lock but did not take the message: end all the same
        Unguarded,  // no private runtime folder (Problem says why): the program must not run
    };

    // `folder` is the user's runtime folder (created with mode 0700 when missing).
    explicit SingleInstance(std::filesystem::path folder, QObject* parent = nullptr);
    ~SingleInstance() override;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Takes the lock, or hands over to the copy that holds it; waits at most `wait_ms` for it.
    Role Claim(int wait_ms = 800);
    // Why the guard could not be set up, for the message of Role::Unguarded.
    const std::string& Problem() const { return m_problem; }

signals:
    // A later start asked this copy to come to the front.
    void Activated();

private:
    void Listen();

    std::filesystem::path m_folder;
    std::string m_problem;
    int m_lock = -1;
    QLocalServer* m_server = nullptr;
};

} // namespace tolbe::app
