#include "app/KeyboardAccess.h"

#include <QAbstractButton>
#include <QAccessibleWidget>
#include <QEvent>
#include <QFocusFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPointer>

namespace tolbe::app {
namespace {

constexpr auto kRoleProperty = "tolbeAccessibleRole";
constexpr auto kCheckedProperty = "tolbeAccessibleChecked";
constexpr auto kRingProperty = "tolbeFocusRing";

bool IsActivateKey(const QKeyEvent* key, bool with_space) {
    if (key->modifiers() & ~Qt::KeypadModifier) return false;
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || (with_space && key->key() == Qt::Key_Space);
}

class KeyActivator final : public QObject {
public:
    KeyActivator(QWidget* widget, std::function<void()> action, bool with_space)
        : QObject(widget), m_action(std::move(action)), m_with_space(with_space) {
        widget->installEventFilter(this);
    }
    void Fire() const {
        if (m_action) m_action();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
            return QObject::eventFilter(watched, event);
        auto* key = static_cast<QKeyEvent*>(event);
        if (!IsActivateKey(key, m_with_space)) return QObject::eventFilter(watched, event);
        if (event->type() == QEvent::KeyPress && !key->isAutoRepeat()) Fire();
        return true;
    }

private:
    std::function<void()> m_action;
    bool m_with_space;
};

// A ring drawn over a widget while another (or the same) widget has the focus: dark outside and
// light inside, so that it shows on the grey and on the blue buttons alike. A QFocusFrame, which
// the accessibility tree leaves out: a reader would otherwise meet an empty object in every
// focused control.
class FocusRing final : public QFocusFrame {
public:
    FocusRing(QWidget* focus, QWidget* framed, int radius)
        : QFocusFrame(framed), m_radius(radius), m_framed(framed), m_focus(focus) {
        setObjectName(focus->objectName() + "FocusRing");
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        hide();
        focus->installEventFilter(this);
        framed->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_focus && event->type() == QEvent::FocusIn) {
            setGeometry(m_framed->rect());
            raise();
            show();
        } else if (watched == m_focus && event->type() == QEvent::FocusOut) {
            hide();
        } else if (watched == m_framed && event->type() == QEvent::Resize) {
            setGeometry(m_framed->rect());
        }
        return QObject::eventFilter(watched, event);
    }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF outer = QRectF(rect()).adjusted(1, 1, -1, -1);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(0x10, 0x10, 0x10), 2));
        p.drawRoundedRect(outer, m_radius, m_radius);
        p.setPen(QPen(Qt::white, 1));
        p.drawRoundedRect(outer.adjusted(1.5, 1.5, -1.5, -1.5), std::max(0, m_radius - 2), std::max(0, m_radius - 2));
    }

private:
    int m_radius;
    QPointer<QWidget> m_framed;
    QPointer<QWidget> m_focus;
};

// What assistive technology sees of a keyboard button: its role, its checked state and a Press
// action that does what Space does.
class AccessibleKeyboardButton final : public QAccessibleWidget {
public:
    AccessibleKeyboardButton(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        const QVariant checked = widget()->property(kCheckedProperty);
        if (checked.isValid()) {
            s.checkable = true;
            s.checked = checked.toBool();
        }
        return s;
    }
    QString text(QAccessible::Text t) const override {
        QString text = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && text.isEmpty())
            if (const auto* label = qobject_cast<const QLabel*>(widget())) text = label->text();
        return text;
    }
    QStringList actionNames() const override { return QStringList{pressAction()} + QAccessibleWidget::actionNames(); }
    void doAction(const QString& name) override {
        if (name != pressAction()) return QAccessibleWidget::doAction(name);
        if (const auto* activator = widget()->findChild<KeyActivator*>(QString(), Qt::FindDirectChildrenOnly))
            activator->Fire();
    }
};

QAccessibleInterface* KeyboardButtonFactory(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget) return nullptr;
    const QVariant role = widget->property(kRoleProperty);
    if (!role.isValid()) return nullptr;
    return new AccessibleKeyboardButton(widget, static_cast<QAccessible::Role>(role.toInt()));
}

} // namespace

void OnActivateKey(QWidget* widget, std::function<void()> action, bool with_space) {
    if (widget) new KeyActivator(widget, std::move(action), with_space);
}

void MakeKeyboardButton(QLabel* label, std::function<void()> press, QAccessible::Role role, QWidget* framed,
                        int ring_radius) {
    if (!label) return;
    static const bool factory_installed = (QAccessible::installFactory(KeyboardButtonFactory), true);
    (void)factory_installed;
    label->setProperty(kRoleProperty, static_cast<int>(role));
    // An interface made before (as a plain label) would stay cached; the next query makes ours.
    if (QAccessibleInterface* before = QAccessible::queryAccessibleInterface(label); before && before->role() != role)
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(before));
    // Tab reaches it; a mouse click does not move the focus, so clicking looks as it always did.
    label->setFocusPolicy(Qt::TabFocus);
    OnActivateKey(label, std::move(press), true);
    new FocusRing(label, framed ? framed : label, ring_radius);
}

void AddFocusRing(QWidget* focus, QWidget* framed, int radius) {
    if (focus && framed) new FocusRing(focus, framed, radius);
}

void AddFocusRings(QWidget* root) {
    if (!root) return;
    for (QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
        if (!(button->focusPolicy() & Qt::TabFocus) || button->property(kRingProperty).isValid()) continue;
        button->setProperty(kRingProperty, true);
        AddFocusRing(button, button, 3);
    }
}

void SetAccessibleChecked(QWidget* button, bool checked) {
    if (!button) return;
    const QVariant before = button->property(kCheckedProperty);
    button->setProperty(kCheckedProperty, checked);
    if (before.isValid() && before.toBool() == checked) return;
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(button, changed);
    QAccessible::updateAccessibility(&event);
}

bool FocusRingShown(const QWidget* button) {
    if (!button) return false;
    const QString name = button->objectName() + "FocusRing";
    for (const QWidget* w = button; w; w = w->parentWidget()) {
        if (const auto* ring = w->findChild<QWidget*>(name)) return ring->isVisible();
        if (w->isWindow()) break;
    }
    return false;
}

} // namespace tolbe::app
