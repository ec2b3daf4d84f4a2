#include "common/win/WinText.h"

#include <windows.h>

namespace tolbe::win {

std::wstring Widen(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string Narrow(std::wstring_view utf16) {
    if (utf16.empty()) return {};
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), out.data(), n, nullptr,
                              nullptr);
    return out;
}

std::string SystemMessage(std::uint32_t code) {
    wchar_t* text = nullptr;
    const DWORD n =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring words = n > 0 && text != nullptr ? std::wstring(text, n) : std::wstring();
    if (text != nullptr) ::LocalFree(text);
    while (!words.empty() && (words.back() == L'\n' || words.back() == L'\r' || words.back() == L' '))
        words.pop_back();
    return words.empty() ? "system error " + std::to_string(code) : Narrow(words);
}

std::error_code LastError() {
    return {static_cast<int>(::GetLastError()), std::system_category()};
}

} // namespace tolbe::win
