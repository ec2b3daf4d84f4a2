#pragma once

#include "common/SettingsStore.h"

#include <filesystem>
#include <mutex>

namespace tolbe {

// Settings kept as one INI file per application in the user's XDG config folder:
// $XDG_CONFIG_HOME/<app>/settings.ini (default ~/.config), sections and keys as given. Safe to
// use from several threads (the window and the live update's worker).
class IniSettingsStore final : public SettingsStore {
public:
    // `config_root` overrides the XDG folder (tests); empty means the user's own.
    explicit IniSettingsStore(std::filesystem::path config_root = {});

    std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                           const std::string& fallback = {}) const override;
    void SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& value) override;

    std::filesystem::path FileFor(const std::string& app) const;

    // The user's config folder: $XDG_CONFIG_HOME, else the home folder's .config; empty (settings
    // are then not kept) when the user has no home folder.
    static std::filesystem::path DefaultConfigRoot();

private:
    std::filesystem::path m_root;
    mutable std::mutex m_mutex; // a save reads, changes and replaces the whole file
};

} // namespace tolbe
