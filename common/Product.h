#pragma once

namespace tolbe {

// The product's name: the title of the main window and of message boxes, and the name of the
// program's own folders.
inline constexpr const char* kProductName = "Tolbe";

} // namespace tolbe
