#include "app/SharedControls.h"

#include "app/UiText.h"
#include "common/Product.h"
#include "common/SettingsStore.h"
#include "i18n/StringTable.h"

#include <QAction>
#include <QComboBox>
#include <QLayout>
#include <QWidget>

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
        ctx.prompt.Show(kProductName, e.what(), Prompt::Buttons::Ok, Prompt::Icon::Warning);
    }
    // The message speaks the newly chosen language; the windows change at the next start.
    const auto text = i18n::TryLoadText(index * i18n::kLanguageBaseStep, kTextLanguageChanged);
    ctx.prompt.Show(kProductName, text.value_or(""), Prompt::Buttons::Ok, Prompt::Icon::None);
}

namespace {} // namespace

QString JoinedList(int lang_base, const QStringList& items) {
    return items.join(UiText(lang_base, kTextListSeparator, ", "));
}

QString NameAndValue(int lang_base, const QString& name, const QString& value) {
    return UiText(lang_base, kTextNameAndValue, "%1: %2").arg(name, value);
}

QString KeyName(int lang_base, core::KeyKind kind, const std::string& database_name) {
    const int k = core::KeyNameText(kind);
    return k < 0 ? QString::fromStdString(database_name) : UiText(lang_base, k, database_name.c_str());
}

QLocale LocaleOf(int lang_base) {
    static const QLocale::Language languages[] = {QLocale::Chinese, QLocale::English, QLocale::Spanish, QLocale::French,
                                                  QLocale::German,  QLocale::Italian, QLocale::Dutch};
    static const QLocale::Territory territories[] = {QLocale::China,      QLocale::UnitedKingdom, QLocale::Spain,
                                                     QLocale::France,     QLocale::Germany,       QLocale::Italy,
                                                     QLocale::Netherlands};
    const int i = lang_base / i18n::kLanguageBaseStep;
    if (i < 0 || i >= i18n::kLanguageCount || lang_base % i18n::kLanguageBaseStep != 0)
        return QLocale(QLocale::English);
    return QLocale(languages[i], territories[i]);
}

void GrowToFit(QWidget* window) {
    QLayout* layout = window ? window->layout() : nullptr;
    if (layout == nullptr) return;
    layout->activate();
    // Wrapped labels ask for their height at the window's width, which sizeHint() does not know.
    const int need =
        layout->hasHeightForWidth() ? layout->totalHeightForWidth(window->width()) : layout->totalSizeHint().height();
    const int width = std::max(window->width(), layout->totalMinimumSize().width());
    if (need > window->height() || width > window->width()) window->resize(width, std::max(need, window->height()));
}

} // namespace tolbe::app
