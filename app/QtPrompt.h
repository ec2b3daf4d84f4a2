#pragma once

#include "common/Prompt.h"

class QWidget;

namespace tolbe::app {

// Message boxes of the windowed program: a modal QMessageBox titled as asked ("Tolbe" when the
// title is empty), with the buttons captioned in the active language (texts 195 OK, 139 Yes, 140 No).
// The text is shown as plain text, whatever names it quotes.
class QtPrompt final : public Prompt {
public:
    explicit QtPrompt(int lang_base, QWidget* parent = nullptr) : m_langBase(lang_base), m_parent(parent) {}
    Answer Show(const std::string& title, const std::string& text, Buttons buttons, Icon icon = Icon::None) override;

private:
    int m_langBase;
    QWidget* m_parent;
};

} // namespace tolbe::app
