#pragma once

#include "app/AppContext.h"

#include <array>

class QAction;
class QComboBox;

namespace tolbe::app {

// The device-type list as every window shows it: the database's types, the eighth item chosen
// (with fewer items none). Throws db::DbError when the database cannot be read.
void FillDeviceTypes(QComboBox* box, const db::CodeDatabase& database);

// Puts the check mark on the entry of language `index` only.
void CheckLanguage(const std::array<QAction*, 7>& items, int index);

// The Language menu's choice: checks it, stores index x 1000 as the setting "Language" and says, in
// the newly chosen language, that the windows change at the next start.
void ChooseLanguage(AppContext& ctx, const std::array<QAction*, 7>& items, int index);

} // namespace tolbe::app
