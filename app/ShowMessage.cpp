#include "app/ShowMessage.h"

#include "app/FrmMsgbox.h"
#include "app/FrmProgressBar.h"
#include "app/UiText.h"
#include "i18n/StringTable.h"

#include <QApplication>
#include <QPushButton>

namespace tolbe::app {

std::int16_t ShowMessage(const QString& prompt, const QString& first_caption,
                         const std::optional<QString>& second_caption, const std::optional<QString>& title,
                         QWidget* parent) {
    MessageBoxRequest& request = MessageRequest();
    // No language's table holds a default title, so an untitled box carries the product name.
    request.title = title ? *title : QString::fromLatin1(kProductName);
    request.prompt = prompt;
    request.first_caption = first_caption;
    request.two_buttons = second_caption.has_value();
    if (second_caption) request.second_caption = *second_caption;

    // A box with no window of its own opens over the one in use, not in a corner of the screen.
    FrmMsgbox box(parent != nullptr ? parent : QApplication::activeWindow());
    box.exec();
    return static_cast<std::int16_t>(request.result);
}

void ShowDatabaseError(int lang_base, QWidget* parent) {
    ShowMessage(UiText(lang_base, kTextDatabaseBroken), UiText(lang_base, kTextConfirm), std::nullopt, std::nullopt,
                parent);
}

void ShowNoticeBox(QPointer<QMessageBox>& notice, QWidget* parent, const QString& text, const QString& ok) {
    // Over a progress window that is up (it stands above the window that opened it), else it
    // would open beneath it.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* progress = qobject_cast<FrmProgressBar*>(w); progress && progress->isVisible()) parent = progress;
    if (notice != nullptr && notice->parentWidget() != parent) {
        notice->close();
        notice = nullptr;
    }
    if (notice == nullptr) {
        notice = new QMessageBox(QMessageBox::Information, QString::fromLatin1(kProductName), QString(),
                                 QMessageBox::Ok, parent);
        notice->setObjectName(QStringLiteral("JobNotice"));
        notice->setTextFormat(Qt::PlainText);
        notice->setWindowModality(Qt::NonModal);
        notice->setAttribute(Qt::WA_DeleteOnClose);
        if (!ok.isEmpty()) notice->button(QMessageBox::Ok)->setText(ok);
    }
    notice->setText(text);
    notice->show();
    notice->raise();
}

} // namespace tolbe::app
