#pragma once

#include "common/Prompt.h"

#include <QCoreApplication>

namespace tolbe::app {

// Lets pending window events run during long waits on the one window thread.
class QtYield final : public Yield {
public:
    void DoEvents() override { QCoreApplication::processEvents(QEventLoop::AllEvents); }
};

} // namespace tolbe::app
