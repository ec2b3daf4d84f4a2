#include "app/JobGate.h"

namespace tolbe::app {

bool JobGate::TryStart(Job job) {
    if (m_running) return false;
    m_running = job;
    return true;
}

void JobGate::Finish(Job job) {
    if (m_running != job) return;
    if (m_closeWaits) {
        m_closeWaits = false;
        m_running = Job::Close;
        emit CloseNow();
        return;
    }
    m_running.reset();
    emit Idle();
}

} // namespace tolbe::app
