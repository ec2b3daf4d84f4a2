#pragma once

#include "app/AppContext.h"
#include "app/QtPrompt.h"

namespace tolbe::app {

// Message boxes in whatever language start-up chose: the language is only known once the main
// window has loaded, so each box is made with the language current at that moment.
class ContextPrompt final : public Prompt {
public:
    void Bind(const AppContext* ctx, QWidget* parent) {
        m_ctx = ctx;
        m_parent = parent;
    }
    // Once the program is told to end, every later question is answered No and every message
    // skipped, so nothing waits for a user who is gone.
    void RefuseFromNowOn() { m_refused = true; }
    Answer Show(const std::string& title, const std::string& text, Buttons buttons, Icon icon = Icon::None) override {
        if (m_refused) return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
        QtPrompt box(m_ctx != nullptr ? m_ctx->LangBase : 1000, m_parent);
        return box.Show(title, text, buttons, icon);
    }

private:
    const AppContext* m_ctx = nullptr;
    QWidget* m_parent = nullptr;
    bool m_refused = false;
};

} // namespace tolbe::app
