#pragma once

#include "common/Product.h"

#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <optional>

class QWidget;

namespace tolbe::app {

// Shows the program's own message box modally with `prompt` and a button captioned `first_caption`,
// plus a second button when `second_caption` is given. Returns 1 when the first button closed the
// box, 7 for the second, and the previous box's result (0 at first) when it was closed by its frame.
std::int16_t ShowMessage(const QString& prompt, const QString& first_caption,
                         const std::optional<QString>& second_caption = std::nullopt,
                         const std::optional<QString>& title = std::nullopt, QWidget* parent = nullptr);

// The program's own box saying the code database cannot be used (texts 141 and 137 of the
// language `lang_base`): at start-up, on a search and on a download that meet a broken database.
void ShowDatabaseError(int lang_base, QWidget* parent = nullptr);

// The note on why a job did not start or why the window has not closed yet: not modal, so the
// running job goes on while it is up. One note at a time in `notice`, made on first use; `ok`
// captions its button when given.
void ShowNoticeBox(QPointer<QMessageBox>& notice, QWidget* parent, const QString& text, const QString& ok);

} // namespace tolbe::app
