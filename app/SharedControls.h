#pragma once

#include "app/AppContext.h"
#include "core/TestKeys.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <array>

class QAction;
class QComboBox;
class QWidget;

namespace tolbe::app {

// The device-type list as every window shows it: the database's types, the eighth item chosen
// (with fewer items none). Throws db::DbError when the database cannot be read.
void FillDeviceTypes(QComboBox* box, const db::CodeDatabase& database);

// Puts the check mark on the entry of language `index` only.
void CheckLanguage(const std::array<QAction*, 7>& items, int index);

// The Language menu's choice: checks it, stores index x 1000 as the setting "Language" and says, in
// the newly chosen language, that the windows change at the next start.
void ChooseLanguage(AppContext& ctx, const std::array<QAction*, 7>& items, int index);

// Texts put together as the language at `lang_base` writes them: a list ("a, b" or "a、b") and a
// name with what it holds ("TV slot: Works", "TV 槽位：正常工作").
QString JoinedList(int lang_base, const QStringList& items);
QString NameAndValue(int lang_base, const QString& name, const QString& value);

// A remote key as every window and tolbe-cli name it: by its kind in the language at `lang_base`
// ("Volume up"), else by its name in the database.
QString KeyName(int lang_base, core::KeyKind kind, const std::string& database_name);

// Dates, times and numbers as the chosen language writes them, whatever the system's locale.
QLocale LocaleOf(int lang_base);

// A window whose texts grew (a note shown, a row added) grows with them: wrapped labels keep
// their lines and nothing is drawn over another. It never shrinks here.
void GrowToFit(QWidget* window);

} // namespace tolbe::app
