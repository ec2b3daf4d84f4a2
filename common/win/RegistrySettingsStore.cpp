#include "common/win/RegistrySettingsStore.h"

#include "common/UserSettings.h"
#include "common/win/WinText.h"

#include <windows.h>

#include <stdexcept>

namespace tolbe {

RegistrySettingsStore::RegistrySettingsStore(std::wstring root) : m_root(std::move(root)) {}

std::wstring RegistrySettingsStore::KeyOf(const std::string& app, const std::string& section) const {
    return m_root + L"\\" + win::Widen(app) + L"\\" + win::Widen(section);
}

std::string RegistrySettingsStore::Read(const std::string& app, const std::string& section, const std::string& key,
                                        const std::string& fallback) const {
    const std::wstring path = KeyOf(app, section);
    const std::wstring name = win::Widen(key);
    // The size first, then the value; a value that grew in between is read again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD size = 0;
        if (::RegGetValueW(HKEY_CURRENT_USER, path.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
            ERROR_SUCCESS)
            return fallback;
        std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        const LSTATUS rc =
            ::RegGetValueW(HKEY_CURRENT_USER, path.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, value.data(), &got);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS) return fallback;
        value.resize(got / sizeof(wchar_t));
        while (!value.empty() && value.back() == L'\0')
            value.pop_back();
        return win::Narrow(value);
    }
    return fallback;
}

void RegistrySettingsStore::Write(const std::string& app, const std::string& section, const std::string& key,
                                  const std::string& value) {
    const std::wstring text = win::Widen(value);
    const LSTATUS rc = ::RegSetKeyValueW(HKEY_CURRENT_USER, KeyOf(app, section).c_str(), win::Widen(key).c_str(),
                                         REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    if (rc != ERROR_SUCCESS)
        throw std::runtime_error("the setting " + key +
                                 " was not saved: " + win::SystemMessage(static_cast<DWORD>(rc)));
}

bool RegistrySettingsStore::RemoveTree(const std::wstring& root) {
    const LSTATUS rc = ::RegDeleteTreeW(HKEY_CURRENT_USER, root.c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

std::unique_ptr<SettingsStore> OpenUserSettings() {
    return std::make_unique<RegistrySettingsStore>();
}

} // namespace tolbe
