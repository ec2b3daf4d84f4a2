#include "app/ContactLink.h"

#include "i18n/StringTable.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMouseEvent>

namespace tolbe::app {

ContactLink::ContactLink(QLabel* label) : QObject(label), m_label(label) {
    m_label->setMouseTracking(true); // hover without a pressed button
    m_label->installEventFilter(this);
}

QUrl ContactLink::MailtoUrl() {
    return QUrl(QStringLiteral("mailto:") + QString::fromLatin1(i18n::kSupportEmail));
}

void ContactLink::ResetColour() {
    SetColour(QApplication::palette().color(QPalette::ButtonText));
}

void ContactLink::ResetOnHover(QWidget* area) {
    area->setMouseTracking(true);
    area->installEventFilter(this);
}

QColor ContactLink::Colour() const {
    return m_label->palette().color(m_label->foregroundRole());
}

void ContactLink::SetColour(const QColor& colour) {
    QPalette palette = m_label->palette();
    palette.setColor(m_label->foregroundRole(), colour);
    m_label->setPalette(palette);
}

void ContactLink::LabEmail_Click() {
    // Whatever mail program the desktop associates with mailto: opens; nothing is said when none does.
    QDesktopServices::openUrl(MailtoUrl());
}

bool ContactLink::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_label) {
        if (event->type() == QEvent::MouseMove) {
            SetColour(kHoverColour);
            return true; // a label ignores it, and the window beneath would turn the colour back at once
        }
        if (event->type() == QEvent::Enter) {
            SetColour(kHoverColour);
        } else if (event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton && m_label->rect().contains(mouse->position().toPoint()))
                LabEmail_Click();
        }
    } else if (event->type() == QEvent::MouseMove) {
        ResetColour();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tolbe::app
