#pragma once

#include "common/SettingsStore.h"

#include <filesystem>

namespace tolbe {

// Settings kept as one INI file per application in the user's XDG config folder:
// $XDG_CONFIG_HOME/<app>/settings.ini (default ~/.config), sections and keys as given. A save
// reads, changes and replaces the file under an exclusive lock on "settings.ini.lock" beside it,
// so two programs saving at the same moment both keep their value.
class IniSettingsStore final : public SettingsStore {
public:
    // `config_root` overrides the XDG folder (tests); empty means the user's own.
    explicit IniSettingsStore(std::filesystem::path config_root = {});

    std::filesystem::path FileFor(const std::string& app) const;

    // The user's config folder: $XDG_CONFIG_HOME, else the home folder's .config; empty (settings
    // are then not kept) when the user has no home folder.
    static std::filesystem::path DefaultConfigRoot();

private:
    std::string Read(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& fallback) const override;
    void Write(const std::string& app, const std::string& section, const std::string& key,
               const std::string& value) override;

    std::filesystem::path m_root;
};

} // namespace tolbe
