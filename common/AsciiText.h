#pragma once

#include <string>
#include <string_view>

// Letter case and blanks of the program's own words (keys, file names, slot names, hexadecimal
// text): ASCII only and never the user's locale, so a Turkish "i" cannot change a key.
namespace tolbe {

std::string ToLower(std::string_view text);
std::string ToUpper(std::string_view text);
char ToLower(char c);
char ToUpper(char c);
// A blank: space, tab, line ends, form feed, vertical tab.
bool IsBlank(char c);
// Without the blanks at either end.
std::string_view Trim(std::string_view text);
// Equal but for ASCII letter case.
bool EqualNoCase(std::string_view a, std::string_view b);

} // namespace tolbe
