#pragma once

#include <string>

namespace tolbe {

// A message box: the GUI shows a window, the command line asks on the terminal, tests script it.
class Prompt {
public:
    enum class Buttons { Ok, YesNo };
    enum class Icon { None, Information, Question, Warning, Error };
    enum class Answer { Ok, Yes, No };

    virtual ~Prompt() = default;
    virtual Answer Show(const std::string& title, const std::string& text, Buttons buttons, Icon icon = Icon::None) = 0;
};

} // namespace tolbe
