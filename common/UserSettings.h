#pragma once

#include "common/SettingsStore.h"

#include <memory>

namespace tolbe {

// The user's own settings store on this platform: the INI file of IniSettingsStore on Linux, the
// registry (HKEY_CURRENT_USER\Software\<app>\<section>) on Windows.
std::unique_ptr<SettingsStore> OpenUserSettings();

} // namespace tolbe
