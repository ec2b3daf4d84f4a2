#include "common/IniSettingsStore.h"

#include "common/IniFile.h"

#include <cstdlib>

namespace tolbe {

IniSettingsStore::IniSettingsStore(std::filesystem::path config_root)
    : m_root(config_root.empty() ? DefaultConfigRoot() : std::move(config_root)) {}

std::filesystem::path IniSettingsStore::DefaultConfigRoot() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') return xdg;
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return std::filesystem::path(home) / ".config";
    return std::filesystem::temp_directory_path();
}

std::filesystem::path IniSettingsStore::FileFor(const std::string& app) const {
    return m_root / app / "settings.ini";
}

std::string IniSettingsStore::GetSetting(const std::string& app, const std::string& section, const std::string& key,
                                         const std::string& fallback) const {
    const auto doc = IniDocument::Load(FileFor(app));
    const std::string* v = doc.Find(section, key);
    return v != nullptr ? *v : fallback;
}

void IniSettingsStore::SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                                   const std::string& value) {
    auto doc = IniDocument::Load(FileFor(app));
    doc.Set(section, key, value);
    doc.Save(FileFor(app));
}

} // namespace tolbe
