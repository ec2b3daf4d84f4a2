#pragma once

#include <QString>

class QWidget;

namespace tolbe::app {

// A text as a screen reader should say it: without the mnemonic marks the menus and labels carry
// for the eye ("File(&F)" and "设备(&D)：" read "File" and "设备："; "&Brand:" reads "Brand:").
QString WithoutMnemonic(QString text);

// Teaches Qt's accessibility what its own interfaces get wrong for this program, for every window
// (safe to call again):
//  - menu items are named without their mnemonic marks and checkable ones say checked or not;
//  - labels with a buddy and buttons are named without mnemonic marks ("查找候选代码(&F)" reads
//    "查找候选代码"); other labels keep their "&";
//  - a combo box with an accessible name of its own is named by it (on Linux Qt names it by its
//    chosen item), the item stays its value;
//  - a progress bar is a plain named progress bar: no value a reader could raise or lower.
// With `window`, what Qt made for its widgets before is made afresh.
void InstallAccessibleWidgets(QWidget* window = nullptr);

// Sets a widget's accessible description, telling assistive technology only when it changed.
void SetAccessibleDescriptionIfChanged(QWidget* widget, const QString& description);
void SetAccessibleNameIfChanged(QWidget* widget, const QString& name);

// Has a screen reader say `text` politely (after what it is saying), on behalf of `widget`;
// nothing happens when no assistive technology listens.
void AnnouncePolitely(QWidget* widget, const QString& text);

} // namespace tolbe::app
