#include "app/AccessibleWidgets.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QProgressBar>
#include <QRegularExpression>
#include <QWindow>

namespace tolbe::app {
namespace {

// The keyboard buttons of KeyboardAccess answer for themselves.
constexpr auto kKeyboardRoleProperty = "tolbeAccessibleRole";

// While set, this factory stands aside so that Qt's own interface can be made and wrapped.
thread_local bool t_makingQtsOwn = false;

// A menu item as Qt would show it, but named without its mnemonic and with its checked state.
// Qt makes its own only when no factory answers for the action, so all of it is here.
class AccessibleMenuItem final : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    AccessibleMenuItem(QWidget* owner, QAction* action) : m_owner(owner), m_action(action) {}

    bool isValid() const override { return m_action && m_owner; }
    QObject* object() const override { return m_action; }
    QWindow* window() const override { return m_owner ? m_owner->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_owner); }
    int childCount() const override { return m_action && m_action->menu() ? 1 : 0; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 && childCount() == 1 ? QAccessible::queryAccessibleInterface(m_action->menu()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && childCount() == 1 && child->object() == m_action->menu() ? 0 : -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        QAccessibleInterface* menu = child(0);
        return menu && menu->rect().contains(x, y) ? menu : nullptr;
    }
    QRect rect() const override {
        if (!isValid()) return {};
        QRect r;
        if (const auto* bar = qobject_cast<QMenuBar*>(m_owner)) r = bar->actionGeometry(m_action);
        if (const auto* menu = qobject_cast<QMenu*>(m_owner)) r = menu->actionGeometry(m_action);
        return r.isValid() ? QRect(m_owner->mapToGlobal(r.topLeft()), r.size()) : QRect();
    }
    QAccessible::Role role() const override {
        if (!m_action) return QAccessible::MenuItem;
        if (m_action->isSeparator()) return QAccessible::Separator;
        // Qt 6.4's AT-SPI bridge passes no "checkable" state on, so a reader would say nothing of an
        // unchosen entry: as a radio button (one of a group) or check box it says "not checked".
        if (m_action->isCheckable())
            return m_action->actionGroup() && m_action->actionGroup()->isExclusive() ? QAccessible::RadioButton
                                                                                     : QAccessible::CheckBox;
        return QAccessible::MenuItem;
    }
    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) return s;
        if (!m_owner->isVisible() || !m_action->isVisible()) s.invisible = true;
        if (!m_action->isEnabled()) s.disabled = true;
        s.focusable = !m_action->isSeparator();
        QAction* active = nullptr;
        if (const auto* bar = qobject_cast<QMenuBar*>(m_owner)) active = bar->activeAction();
        if (const auto* menu = qobject_cast<QMenu*>(m_owner)) active = menu->activeAction();
        s.focused = active == m_action;
        s.hasPopup = m_action->menu() != nullptr;
        // Checkable entries say "not checked" too, not only "checked".
        s.checkable = m_action->isCheckable();
        s.checked = m_action->isChecked();
        return s;
    }
    QString text(QAccessible::Text t) const override {
        if (!m_action) return {};
        switch (t) {
        case QAccessible::Name:
            return WithoutMnemonic(m_action->text());
        case QAccessible::Description:
            return m_action->statusTip();
        case QAccessible::Accelerator:
            if (!m_action->shortcut().isEmpty()) return m_action->shortcut().toString(QKeySequence::NativeText);
            return QKeySequence::mnemonic(m_action->text()).toString(QKeySequence::NativeText);
        default:
            return {};
        }
    }
    void setText(QAccessible::Text, const QString&) override {}
    void* interface_cast(QAccessible::InterfaceType t) override {
        return t == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }

    QStringList actionNames() const override {
        if (!isValid() || !m_action->isEnabled() || m_action->isSeparator()) return {};
        return {pressAction()};
    }
    void doAction(const QString& name) override {
        if (name != pressAction() || actionNames().isEmpty()) return;
        if (auto* bar = qobject_cast<QMenuBar*>(m_owner)) {
            bar->setActiveAction(m_action);
        } else if (auto* menu = qobject_cast<QMenu*>(m_owner); menu && m_action->menu()) {
            menu->setActiveAction(m_action);
        } else {
            m_action->trigger();
        }
    }
    QStringList keyBindingsForAction(const QString& name) const override {
        const QString key = name == pressAction() ? text(QAccessible::Accelerator) : QString();
        return key.isEmpty() ? QStringList{} : QStringList{key};
    }

private:
    QPointer<QWidget> m_owner; // the menu or menu bar that shows the action
    QPointer<QAction> m_action;
};

// Qt's own interface of a widget with another name: everything else is Qt's.
class RenamedInterface final : public QAccessibleInterface {
public:
    RenamedInterface(QAccessibleInterface* qts, QWidget* widget)
        : m_qts(qts), m_qtsId(QAccessible::uniqueId(qts)), m_widget(widget) {}
    ~RenamedInterface() override { QAccessible::deleteAccessibleInterface(m_qtsId); }
    RenamedInterface(const RenamedInterface&) = delete;
    RenamedInterface& operator=(const RenamedInterface&) = delete;

    bool isValid() const override { return m_widget && m_qts->isValid(); }
    QObject* object() const override { return m_qts->object(); }
    QWindow* window() const override { return m_qts->window(); }
    QList<QPair<QAccessibleInterface*, QAccessible::Relation>> relations(QAccessible::Relation match) const override {
        return m_qts->relations(match);
    }
    QAccessibleInterface* focusChild() const override { return m_qts->focusChild(); }
    QAccessibleInterface* childAt(int x, int y) const override { return m_qts->childAt(x, y); }
    QAccessibleInterface* parent() const override { return m_qts->parent(); }
    QAccessibleInterface* child(int index) const override { return m_qts->child(index); }
    int childCount() const override { return m_qts->childCount(); }
    int indexOfChild(const QAccessibleInterface* child) const override { return m_qts->indexOfChild(child); }
    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name || !m_widget) return m_qts->text(t);
        if (!m_widget->accessibleName().isEmpty()) return m_widget->accessibleName();
        // Only a label with a buddy shows a mnemonic; any other shows its "&" ("Bang & Olufsen").
        if (const auto* label = qobject_cast<const QLabel*>(m_widget.data()))
            return label->buddy() ? WithoutMnemonic(label->text()) : label->text();
        if (const auto* button = qobject_cast<const QAbstractButton*>(m_widget.data()))
            return WithoutMnemonic(button->text());
        return m_qts->text(t);
    }
    void setText(QAccessible::Text t, const QString& text) override { m_qts->setText(t, text); }
    QRect rect() const override { return m_qts->rect(); }
    QAccessible::Role role() const override { return m_qts->role(); }
    QAccessible::State state() const override { return m_qts->state(); }
    QColor foregroundColor() const override { return m_qts->foregroundColor(); }
    QColor backgroundColor() const override { return m_qts->backgroundColor(); }
    void* interface_cast(QAccessible::InterfaceType t) override { return m_qts->interface_cast(t); }

private:
    QAccessibleInterface* m_qts;
    QAccessible::Id m_qtsId;
    QPointer<QWidget> m_widget;
};

QWidget* MenuOwner(QAction* action) {
    for (QObject* o : action->associatedObjects())
        if (qobject_cast<QMenu*>(o) || qobject_cast<QMenuBar*>(o)) return static_cast<QWidget*>(o);
    return nullptr;
}

// The widgets whose names Qt gets wrong: Qt strips "&" from a button's "(&F)" but leaves "(F)".
bool Renamed(const QWidget* widget) {
    return qobject_cast<const QComboBox*>(widget) || qobject_cast<const QLabel*>(widget) ||
           qobject_cast<const QAbstractButton*>(widget);
}

QAccessibleInterface* Factory(const QString&, QObject* object) {
    if (t_makingQtsOwn || object == nullptr) return nullptr;
    if (auto* action = qobject_cast<QAction*>(object)) {
        QWidget* owner = MenuOwner(action);
        return owner ? new AccessibleMenuItem(owner, action) : nullptr;
    }
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr || widget->property(kKeyboardRoleProperty).isValid()) return nullptr;
    if (qobject_cast<QProgressBar*>(widget)) return new QAccessibleWidget(widget, QAccessible::ProgressBar);
    if (!Renamed(widget)) return nullptr;
    t_makingQtsOwn = true;
    QAccessibleInterface* qts = QAccessible::queryAccessibleInterface(widget);
    t_makingQtsOwn = false;
    return qts ? new RenamedInterface(qts, widget) : nullptr;
}

} // namespace

QString WithoutMnemonic(QString text) {
    static const QRegularExpression suffix(QStringLiteral("[(（]&[^&][)）]"));
    text.remove(suffix);
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&')) {
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('&')) out += text[++i];
            continue;
        }
        out += text[i];
    }
    return out;
}

void InstallAccessibleWidgets(QWidget* window) {
    static const bool installed = (QAccessible::installFactory(Factory), true);
    (void)installed;
    if (window == nullptr) return;
    // An interface stays cached once made; those made before the factory came are Qt's own.
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const bool progress = qobject_cast<QProgressBar*>(w) != nullptr;
        if (!progress && !Renamed(w)) continue;
        if (w->property(kKeyboardRoleProperty).isValid()) continue;
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
        const bool ours =
            progress ? iface && iface->valueInterface() == nullptr : dynamic_cast<RenamedInterface*>(iface) != nullptr;
        if (iface && !ours) QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(iface));
    }
}

void SetAccessibleDescriptionIfChanged(QWidget* widget, const QString& description) {
    if (widget && widget->accessibleDescription() != description) widget->setAccessibleDescription(description);
}

void SetAccessibleNameIfChanged(QWidget* widget, const QString& name) {
    if (widget && widget->accessibleName() != name) widget->setAccessibleName(name);
}

void AnnouncePolitely(QWidget* widget, const QString& text) {
    if (widget == nullptr || text.isEmpty() || !QAccessible::isActive()) return;
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    if (iface == nullptr) return;
    // Qt 6.4 has no announcement event of its own: the AT-SPI event goes out on the connection
    // Qt's bridge opened to the accessibility bus, from the object the bridge publishes.
    QDBusConnection bus(QStringLiteral("a11y"));
    if (!bus.isConnected()) return;
    QDBusMessage event = QDBusMessage::createSignal(
        QStringLiteral("/org/a11y/atspi/accessible/") + QString::number(QAccessible::uniqueId(iface)),
        QStringLiteral("org.a11y.atspi.Event.Object"), QStringLiteral("Announcement"));
    constexpr int kPolite = 1;
    event << QString() << kPolite << 0 << QVariant::fromValue(QDBusVariant(text)) << QVariantMap{};
    bus.send(event);
}

} // namespace tolbe::app
