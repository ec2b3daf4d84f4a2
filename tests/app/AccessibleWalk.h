#pragma once

// What a screen reader meets in a window, walked as it walks it.
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QRegularExpression>

#include <functional>

namespace tolbe::test {

// Walks `top` and what it holds, skipping what is hidden (a menu counts though it is not popped
// up): no name carries a mnemonic mark, every control a user acts on and every picture has a name,
// and checkable menu entries say whether they are checked. Returns the first fault, empty when
// none; `named` counts the controls met that need a name.
inline QString AccessibleNameFault(QAccessibleInterface* top, int& named) {
    // "&" before a blank is no mark ("Bang & Olufsen", a brand as the database writes it).
    static const QRegularExpression marks(QStringLiteral("&(?! )|[(（][A-Za-z][)）]"));
    static const QList<QAccessible::Role> needNames{
        QAccessible::Button,   QAccessible::ComboBox, QAccessible::EditableText, QAccessible::Table,
        QAccessible::Link,     QAccessible::MenuItem, QAccessible::Graphic,      QAccessible::RadioButton,
        QAccessible::CheckBox, QAccessible::Grouping};
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
        const bool needsName = needNames.contains(iface->role());
        named += needsName;
        if (name.contains(marks)) fault = at + " has a mnemonic mark";
        if (needsName && name.isEmpty()) fault = at + " has no name";
        if (action && action->isCheckable() && !iface->state().checkable) fault = at + " does not say it is checked";
        if (iface->role() == QAccessible::Table) return; // its cells are read row by row
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
