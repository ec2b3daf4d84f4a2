#include "common/UserSettings.h"

#include "common/IniSettingsStore.h"

namespace tolbe {

std::unique_ptr<SettingsStore> OpenUserSettings() {
    return std::make_unique<IniSettingsStore>();
}

} // namespace tolbe
