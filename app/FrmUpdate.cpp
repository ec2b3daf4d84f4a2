#include "app/FrmUpdate.h"

#include "app/LocaliseForm.h"
#include "i18n/StringTable.h"
#include "ui_FrmUpdate.h"

#include <QCloseEvent>

namespace tolbe::app {

FrmUpdate::FrmUpdate(AppContext& ctx, update::MainWindowHooks& main_window, QWidget* parent,
                     update::Download::SessionFactory sessions)
    : QDialog(parent), m_ui(std::make_unique<Ui::FrmUpdate>()) {
    m_ui->setupUi(this);
    setModal(false);
    Form_Load(ctx.LangBase);
    const int lang_base = ctx.LangBase;
    update::UpdateContext uctx{ctx.paths,
                               ctx.settings,
                               ctx.prompt,
                               m_yield,
                               [lang_base](int k) { return i18n::LoadText(lang_base, k); },
                               std::move(sessions)};
    m_check = std::make_unique<update::UpdateCheck>(std::move(uctx), *this, main_window);
    connect(m_ui->CmdCancel, &QPushButton::clicked, this, [this] { m_check->CmdCancel_Click(); });
}

FrmUpdate::~FrmUpdate() = default;

void FrmUpdate::Form_Load(int lang_base) {
    SetCaptionFromTag(this, lang_base);
    LocaliseForm(this, lang_base);
}

void FrmUpdate::RunStartupCheck() {
    m_check->RunStartupCheck();
}

QPushButton* FrmUpdate::CmdCancel() const {
    return m_ui->CmdCancel;
}
QPushButton* FrmUpdate::CmdUpdate() const {
    return m_ui->CmdUpdate;
}
QPlainTextEdit* FrmUpdate::TxtDownloadInfo() const {
    return m_ui->TxtDownloadInfo;
}
QProgressBar* FrmUpdate::FileProgBar() const {
    return m_ui->FileProgBar;
}

void FrmUpdate::SetLog(const std::string& text) {
    QString shown = QString::fromStdString(text);
    shown.remove(QLatin1Char('\r'));
    m_ui->TxtDownloadInfo->setPlainText(shown);
    m_ui->TxtDownloadInfo->moveCursor(QTextCursor::End);
}

void FrmUpdate::SetProgress(int value) {
    m_ui->FileProgBar->setValue(value);
}

void FrmUpdate::SetWindowVisible(bool visible) {
    if (visible) {
        show();
        raise();
    } else {
        hide();
    }
}

void FrmUpdate::SetUpdateEnabled(bool enabled) {
    m_ui->CmdUpdate->setEnabled(enabled);
}

void FrmUpdate::closeEvent(QCloseEvent* event) {
    // During the start-up check the check itself decides when the window goes.
    if (!update::AllowUpdateUnload()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void FrmUpdate::reject() {
    // The Escape key closes a dialog; it obeys the same rule as the close box.
    if (update::AllowUpdateUnload()) QDialog::reject();
}

} // namespace tolbe::app
