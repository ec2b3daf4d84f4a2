#pragma once

#include <QObject>

#include <optional>

namespace tolbe::app {

// The main window's jobs that must never run inside one another.
enum class Job { Download, UpdateCheck, Close };

// Decides whether a job may start: one at a time. A job runs from a successful TryStart until its
// Finish; closing never finishes, so nothing starts once the window is going.
class JobGate : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // True when no job runs; `job` runs from then on.
    bool TryStart(Job job);
    // Ends `job` and tells the waiting ones. Ending a job that does not run changes nothing.
    void Finish(Job job);
    std::optional<Job> Running() const { return m_running; }
    // Closing waits for the running job: once it finishes, Close starts in its place (nothing
    // else may start in between) and CloseNow tells the window.
    void CloseWhenIdle() { m_closeWaits = true; }
    // True once closing was asked for.
    bool Closing() const { return m_closeWaits || m_running == Job::Close; }

signals:
    // No job runs any more; a job that had to wait may try again (connect it queued, so it starts
    // from the event loop and not inside the ending job's last call).
    void Idle();
    // The job that closing waited for has ended; Close runs now.
    void CloseNow();

private:
    std::optional<Job> m_running;
    bool m_closeWaits = false;
};

} // namespace tolbe::app
