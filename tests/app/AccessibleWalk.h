#pragma once

// What a screen reader meets in a window, walked as it walks it.
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QRegularExpression>
#include <QWidget>

#include <functional>

namespace tolbe::test {

// Walks `top` and what it holds, skipping what is hidden (a menu counts though it is not popped
// up): no name carries a mnemonic mark ("&", "(F)", "（F）"), and every control a user acts on or
// a picture has a name. Returns the first fault (role and name), empty when none; `named` counts
// the controls met that need a name.
inline QString AccessibleNameFault(QAccessibleInterface* top, int& named) {
    // "&" before a blank is no mark ("Bang & Olufsen", a brand as the database writes it).
    static const QRegularExpression marks(QStringLiteral("&(?! )|[(（][A-Za-z][)）]"));
    QString fault;
    std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* iface) {
        if (iface == nullptr || !fault.isEmpty()) return;
        auto* widget = qobject_cast<QWidget*>(iface->object());
        auto* action = qobject_cast<QAction*>(iface->object());
        if ((widget && widget->isHidden() && !qobject_cast<QMenu*>(widget)) || (action && !action->isVisible())) return;
        const QString name = iface->text(QAccessible::Name);
        const QString at = QStringLiteral("role %1 \"%2\" (%3)")
                               .arg(int(iface->role()))
                               .arg(name, iface->object() ? iface->object()->objectName() : QString());
        const QAccessible::Role role = iface->role();
        if (name.contains(marks)) {
            fault = at + " has a mnemonic mark";
            return;
        }
        if (role == QAccessible::Button || role == QAccessible::ComboBox || role == QAccessible::EditableText ||
            role == QAccessible::Table || role == QAccessible::Link || role == QAccessible::MenuItem ||
            role == QAccessible::Graphic || role == QAccessible::RadioButton || role == QAccessible::CheckBox ||
            role == QAccessible::Grouping) {
            if (name.isEmpty()) {
                fault = at + " has no name";
                return;
            }
            ++named;
        }
        if (action && action->isCheckable() && !iface->state().checkable) {
            fault = at + " does not say whether it is checked";
            return;
        }
        if (role == QAccessible::Table) return; // its cells are read row by row
        for (int i = 0; i < iface->childCount(); ++i)
            walk(iface->child(i));
    };
    walk(top);
    return fault;
}

// Whether a reader hears `text` at the control that has the focus: its name or description says it.
inline bool HeardAtFocus(const QString& text) {
    QWidget* focus = QApplication::focusWidget();
    QAccessibleInterface* iface = focus ? QAccessible::queryAccessibleInterface(focus) : nullptr;
    return iface && !text.isEmpty() &&
           (iface->text(QAccessible::Name).contains(text) || iface->text(QAccessible::Description).contains(text));
}

} // namespace tolbe::test
