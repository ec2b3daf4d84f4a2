#pragma once

#include "common/Prompt.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace tolbe::app {

// Lets pending window events run during long waits on the one window thread.
class QtYield final : public Yield {
public:
    void DoEvents() override { QCoreApplication::processEvents(QEventLoop::AllEvents); }
};

// For loops that yield thousands of times a second (a transfer's 512-byte reads): processes
// pending events at most every few milliseconds, which keeps the window live at a fraction of
// the cost.
class PacedQtYield final : public Yield {
public:
    static constexpr qint64 kInterval_ms = 5;
    void DoEvents() override {
        if (m_since.isValid() && m_since.elapsed() < kInterval_ms) return;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        m_since.start();
    }

private:
    QElapsedTimer m_since;
};

} // namespace tolbe::app
