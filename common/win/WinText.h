#pragma once

// Text between the program's UTF-8 and the Windows calls' UTF-16, and the system's words for an
// error. Only for the Windows backends (win/ folders).

#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

namespace tolbe::win {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);
// The system's message for an error code (GetLastError), without the trailing line end.
std::string SystemMessage(std::uint32_t code);
// GetLastError as an error code, for std::filesystem::filesystem_error.
std::error_code LastError();

} // namespace tolbe::win
