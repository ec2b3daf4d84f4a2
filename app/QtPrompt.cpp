#include "app/QtPrompt.h"

#include "app/ShowMessage.h"
#include "app/UiText.h"
#include "i18n/StringTable.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace tolbe::app {
namespace {

QMessageBox::Icon ToQt(Prompt::Icon icon) {
    switch (icon) {
    case Prompt::Icon::Information:
        return QMessageBox::Information;
    case Prompt::Icon::Question:
        return QMessageBox::Question;
    case Prompt::Icon::Warning:
        return QMessageBox::Warning;
    case Prompt::Icon::Error:
        return QMessageBox::Critical;
    case Prompt::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// Captions a standard button in the active language; Qt's own caption stays when the text is absent.
void Caption(QMessageBox& box, QMessageBox::StandardButton which, int lang_base, int k) {
    if (const auto text = i18n::TryLoadText(lang_base, k)) box.button(which)->setText(QString::fromStdString(*text));
}

// Keeps a box centred over its window while the window manager places that window: a box asked
// for at start-up would otherwise stay where the window was before it was placed.
class CentreOver final : public QObject {
public:
    CentreOver(QWidget* box, QWidget* over) : QObject(box), m_box(box), m_over(over) {
        if (over) over->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_over && m_box && m_over && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
            m_box->move(m_over->frameGeometry().center() - m_box->rect().center());
        return QObject::eventFilter(watched, event);
    }

private:
    QPointer<QWidget> m_box;
    QPointer<QWidget> m_over;
};

} // namespace

Prompt::Answer QtPrompt::Show(const std::string& title, const std::string& text, Buttons buttons, Icon icon) {
    QWidget* over = m_parent != nullptr ? m_parent->window() : QApplication::activeWindow();
    QMessageBox box(over);
    new CentreOver(&box, over);
    box.setWindowTitle(title.empty() ? QString::fromLatin1(kProductName) : QString::fromStdString(title));
    // Messages quote brand and model names from the database and the record: never markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(text));
    box.setIcon(ToQt(icon));
    if (buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        Caption(box, QMessageBox::Yes, m_langBase, kTextYes);
        Caption(box, QMessageBox::No, m_langBase, kTextNo);
        return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    Caption(box, QMessageBox::Ok, m_langBase, kTextOk);
    box.exec();
    return Answer::Ok;
}

} // namespace tolbe::app
