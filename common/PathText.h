#pragma once

#include <filesystem>
#include <string_view>

namespace tolbe {

// A path from the program's text, which is UTF-8 (as path::string() gives it on every system).
// std::filesystem reads a narrow string in the system's code page on Windows, which misreads a
// folder such as C:\Users\Jürgen; every path made from text goes through here instead.
inline std::filesystem::path PathFromUtf8(std::string_view text) {
    return std::filesystem::path(std::u8string_view(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

} // namespace tolbe
