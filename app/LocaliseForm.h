#pragma once

#include <QString>
#include <Qt>

#include <optional>

class QWidget;

namespace tolbe::app {

// Data role of a tree or table header item that holds its text number (the header's "Tag").
inline constexpr int kHeaderTagRole = Qt::UserRole;

// The text whose number k is written in `source` ("126"), in the language at `lang_base`; nullopt when
// `source` is empty or not a 16-bit number, or when the table holds no such text.
std::optional<QString> LocalisedText(const QString& source, int lang_base);

// Relabels every control of `window` (not the window's own caption) from the numbers its design carries:
//   QLabel            text from the "Tag" property; tool tip from the tool tip
//   QMenu / QAction   menu title and item text from themselves (menus of the window's menu bar)
//   QTabWidget        tab text from the page's "Tag" (else the tab text); tab tool tips; tool tip
//   QToolBar          each action's tool tip (when it has its own), then its text
//   QTreeWidget, QTableWidget   column header text from the header item's kHeaderTagRole data, else its text
//   QComboBox         tool tip and every item; with the property "ImageCombo" = true only the tool tip
//   QPushButton, QRadioButton   text from "Tag"
//   QGroupBox         title from "Tag"; other frames with a "Tag": window title
//   QCheckBox         text and tool tip from themselves
//   QLineEdit, QTextEdit, QPlainTextEdit   tool tip
// Qt's status bar has no panels and a QListWidget no header, so both are left alone, as are all other
// kinds. Every assignment stands alone: one that fails leaves that property as it was designed.
void LocaliseForm(QWidget* window, int lang_base);

// The window caption from the number in the window's "Tag" property or, without one, in its caption.
void SetCaptionFromTag(QWidget* window, int lang_base);

} // namespace tolbe::app
