#pragma once

#include "common/SettingsStore.h"

#include <string>

namespace tolbe {

// Settings in the current user's registry: HKEY_CURRENT_USER\<root>\<app>\<section>, one string
// value a key. The registry changes each value on its own and at once, so two programs saving at
// the same moment both keep theirs without a lock file.
class RegistrySettingsStore final : public SettingsStore {
public:
    // `root` is the key under HKEY_CURRENT_USER (tests give their own).
    explicit RegistrySettingsStore(std::wstring root = L"Software");

    // Removes HKEY_CURRENT_USER\<root> with everything under it (tests clean up their own).
    static bool RemoveTree(const std::wstring& root);

private:
    std::string Read(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& fallback) const override;
    void Write(const std::string& app, const std::string& section, const std::string& key,
               const std::string& value) override;
    std::wstring KeyOf(const std::string& app, const std::string& section) const;

    std::wstring m_root;
};

} // namespace tolbe
