#include "app/LocaliseForm.h"

#include "app/AccessibleWidgets.h"
#include "i18n/StringTable.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QToolBar>
#include <QTreeWidget>

#include <functional>
#include <limits>

namespace tolbe::app {
namespace {

using Setter = std::function<void(const QString&)>;

void Relabel(const QString& source, int lang_base, const Setter& set) {
    if (const auto text = LocalisedText(source, lang_base)) set(*text);
}

// A dynamic property that the design may or may not carry; absent counts as a failed assignment.
void RelabelFromProperty(const QObject* object, const char* name, int lang_base, const Setter& set) {
    const QVariant value = object->property(name);
    if (value.isValid()) Relabel(value.toString(), lang_base, set);
}

// QAction::toolTip() falls back to the text (without '&' and "...") when no tool tip of its own is set;
// that fallback is no design number and must not be relabelled into a tool tip.
bool HasOwnToolTip(const QAction* action) {
    QString stripped = action->text();
    stripped.remove(QStringLiteral("..."));
    for (qsizetype i = 0; i < stripped.size(); ++i)
        if (stripped[i] == u'&') stripped.remove(i, 1);
    return action->toolTip() != stripped.trimmed();
}

class Relabeller {
public:
    explicit Relabeller(int lang_base) : m_base(lang_base) {}

    void Visit(QWidget* widget) {
        Apply(widget);
        for (QObject* child : widget->children()) {
            auto* child_widget = qobject_cast<QWidget*>(child);
            // Other windows (dialogs parented to this one) relabel themselves; menus are popups but ours.
            if (child_widget && (!child_widget->isWindow() || qobject_cast<QMenu*>(child_widget))) Visit(child_widget);
        }
    }

private:
    // A hidden menu or item keeps no mnemonic: Qt still binds its letter, which would shadow a
    // visible one's (a hidden "Download(&D)" took Alt+D from the device field).
    static QString Shown(const QAction* action, const QString& text) {
        return action->isVisible() ? text : WithoutMnemonic(text);
    }

    void Text(QAction* action) {
        if (action->isSeparator() || action->menu() || m_actions.contains(action)) return;
        m_actions.insert(action);
        Relabel(action->text(), m_base, [action](const QString& t) { action->setText(Shown(action, t)); });
    }

    void ToolTip(QWidget* w) {
        Relabel(w->toolTip(), m_base, [w](const QString& t) { w->setToolTip(t); });
    }

    void Apply(QWidget* w) {
        if (auto* label = qobject_cast<QLabel*>(w)) {
            RelabelFromProperty(label, "Tag", m_base, [label](const QString& t) { label->setText(t); });
            ToolTip(label);
        } else if (auto* menu = qobject_cast<QMenu*>(w)) {
            Relabel(menu->title(), m_base, [menu](const QString& t) { menu->setTitle(Shown(menu->menuAction(), t)); });
            for (QAction* action : menu->actions())
                Text(action);
        } else if (auto* bar = qobject_cast<QMenuBar*>(w)) {
            for (QAction* action : bar->actions())
                Text(action); // items placed on the bar itself
        } else if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
            for (int i = 0; i < tabs->count(); ++i) {
                const auto set_text = [tabs, i](const QString& t) { tabs->setTabText(i, t); };
                if (tabs->widget(i)->property("Tag").isValid())
                    RelabelFromProperty(tabs->widget(i), "Tag", m_base, set_text);
                else
                    Relabel(tabs->tabText(i), m_base, set_text);
                Relabel(tabs->tabToolTip(i), m_base, [tabs, i](const QString& t) { tabs->setTabToolTip(i, t); });
            }
            ToolTip(tabs);
        } else if (auto* toolbar = qobject_cast<QToolBar*>(w)) {
            for (QAction* action : toolbar->actions()) {
                if (action->isSeparator()) continue;
                if (HasOwnToolTip(action))
                    Relabel(action->toolTip(), m_base, [action](const QString& t) { action->setToolTip(t); });
                Text(action);
            }
        } else if (auto* tree = qobject_cast<QTreeWidget*>(w)) {
            if (QTreeWidgetItem* header = tree->headerItem())
                for (int column = 0; column < header->columnCount(); ++column)
                    RelabelHeader(header, column);
        } else if (auto* table = qobject_cast<QTableWidget*>(w)) {
            for (int column = 0; column < table->columnCount(); ++column) {
                QTableWidgetItem* header = table->horizontalHeaderItem(column);
                if (!header) continue;
                const QVariant tag = header->data(kHeaderTagRole);
                Relabel(tag.isValid() ? tag.toString() : header->text(), m_base,
                        [header](const QString& t) { header->setText(t); });
            }
        } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            ToolTip(combo);
            if (combo->property("ImageCombo").toBool()) return;
            for (int i = 0; i < combo->count(); ++i)
                Relabel(combo->itemText(i), m_base, [combo, i](const QString& t) { combo->setItemText(i, t); });
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            RelabelFromProperty(button, "Tag", m_base, [button](const QString& t) { button->setText(t); });
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            RelabelFromProperty(group, "Tag", m_base, [group](const QString& t) { group->setTitle(t); });
        } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
            Relabel(check->text(), m_base, [check](const QString& t) { check->setText(t); });
            ToolTip(check);
        } else if (qobject_cast<QLineEdit*>(w) || qobject_cast<QTextEdit*>(w) || qobject_cast<QPlainTextEdit*>(w)) {
            ToolTip(w);
        } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
            RelabelFromProperty(radio, "Tag", m_base, [radio](const QString& t) { radio->setText(t); });
        } else if (qobject_cast<QStatusBar*>(w)) {
            // No panels in Qt: messages are set by whoever shows them.
        } else if (qobject_cast<QFrame*>(w)) {
            RelabelFromProperty(w, "Tag", m_base, [w](const QString& t) { w->setWindowTitle(t); });
        }
    }

    void RelabelHeader(QTreeWidgetItem* header, int column) {
        const QVariant tag = header->data(column, kHeaderTagRole);
        Relabel(tag.isValid() ? tag.toString() : header->text(column), m_base,
                [header, column](const QString& t) { header->setText(column, t); });
    }

    int m_base;
    QSet<QAction*> m_actions; // an action in a menu and a tool bar is relabelled once
};

} // namespace

std::optional<QString> LocalisedText(const QString& source, int lang_base) {
    bool ok = false;
    const int k = source.trimmed().toInt(&ok);
    if (!ok || k < std::numeric_limits<std::int16_t>::min() || k > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    if (const auto text = i18n::TryLoadText(lang_base, k)) return QString::fromStdString(*text);
    return std::nullopt;
}

void LocaliseForm(QWidget* window, int lang_base) {
    if (!window) return;
    Relabeller relabeller(lang_base);
    for (QObject* child : window->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget && (!widget->isWindow() || qobject_cast<QMenu*>(widget))) relabeller.Visit(widget);
    }
}

void SetCaptionFromTag(QWidget* window, int lang_base) {
    if (!window) return;
    const auto set = [window](const QString& t) { window->setWindowTitle(t); };
    if (window->property("Tag").isValid())
        RelabelFromProperty(window, "Tag", lang_base, set);
    else
        Relabel(window->windowTitle(), lang_base, set);
}

} // namespace tolbe::app
