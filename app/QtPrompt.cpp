#include "app/QtPrompt.h"

#include "app/ShowMessage.h"
#include "i18n/StringTable.h"

#include <QMessageBox>
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

} // namespace

Prompt::Answer QtPrompt::Show(const std::string& title, const std::string& text, Buttons buttons, Icon icon) {
    QMessageBox box(m_parent);
    box.setWindowTitle(title.empty() ? QString::fromLatin1(kProductName) : QString::fromStdString(title));
    // Messages quote brand and model names from the database and the record: never markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(text));
    box.setIcon(ToQt(icon));
    if (buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        Caption(box, QMessageBox::Yes, m_lang_base, 139);
        Caption(box, QMessageBox::No, m_lang_base, 140);
        return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    Caption(box, QMessageBox::Ok, m_lang_base, 195);
    box.exec();
    return Answer::Ok;
}

} // namespace tolbe::app
