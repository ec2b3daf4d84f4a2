#include "app/SharedControls.h"

#include "common/SettingsStore.h"
#include "i18n/StringTable.h"

#include <QAction>
#include <QComboBox>

#include <exception>
#include <string>

namespace tolbe::app {
namespace {

// Position (from 0) of the device type selected after every fill: the eighth item.
constexpr int kSelectedDeviceTypeIndex = 7;

} // namespace

void FillDeviceTypes(QComboBox* box, const db::CodeDatabase& database) {
    box->clear();
    for (const auto& name : database.DeviceTypes())
        box->addItem(QString::fromStdString(name));
    box->setCurrentIndex(box->count() > kSelectedDeviceTypeIndex ? kSelectedDeviceTypeIndex : -1);
}

void CheckLanguage(const std::array<QAction*, 7>& items, int index) {
    for (std::size_t i = 0; i < items.size(); ++i)
        items[i]->setChecked(static_cast<int>(i) == index);
}

void ChooseLanguage(AppContext& ctx, const std::array<QAction*, 7>& items, int index) {
    CheckLanguage(items, index);
    try {
        ctx.settings.SaveSetting(kSettingsApp, kSettingsSection, settings_key::kLanguage, std::to_string(index * 1000));
    } catch (const std::exception& e) {
        ctx.prompt.Show("Tolbe", e.what(), Prompt::Buttons::Ok, Prompt::Icon::Warning);
    }
    // The message speaks the newly chosen language; the windows change at the next start.
    const auto text = i18n::TryLoadText(index * 1000, 125);
    ctx.prompt.Show("Tolbe", text.value_or(""), Prompt::Buttons::Ok, Prompt::Icon::None);
}

} // namespace tolbe::app
