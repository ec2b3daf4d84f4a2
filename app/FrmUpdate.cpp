#include "app/FrmUpdate.h"

#include "app/LocaliseForm.h"
#include "i18n/StringTable.h"
#include "ui_FrmUpdate.h"

#include <QCloseEvent>

namespace tolbe::app {
namespace {

// What the worker shows reaches the window queued, in the order it was shown.
class QueuedView final : public update::UpdateView {
public:
    explicit QueuedView(FrmUpdate& window) : m_window(window) {}
    void SetLog(const std::string& text) override {
        PostToThreadOf(&m_window, [w = &m_window, text] { w->SetLog(text); });
    }
    void SetProgress(int value) override {
        PostToThreadOf(&m_window, [w = &m_window, value] { w->SetProgress(value); });
    }
    void SetWindowVisible(bool visible) override {
        PostToThreadOf(&m_window, [w = &m_window, visible] { w->SetWindowVisible(visible); });
    }
    void SetUpdateEnabled(bool enabled) override {
        PostToThreadOf(&m_window, [w = &m_window, enabled] { w->SetUpdateEnabled(enabled); });
    }

private:
    FrmUpdate& m_window;
};

} // namespace

FrmUpdate::FrmUpdate(AppContext& ctx, update::MainWindowHooks& main_window, QWidget* parent,
                     update::Download::SessionFactory sessions)
    : QDialog(parent), m_ui(std::make_unique<Ui::FrmUpdate>()) {
    m_ui->setupUi(this);
    setModal(false);
    Form_Load(ctx.LangBase);
    m_view = std::make_unique<QueuedView>(*this);
    const int lang_base = ctx.LangBase;
    // The prompt is asked only by the steps on this window's thread.
    update::UpdateContext uctx{ctx.paths, ctx.settings, ctx.prompt, {}, i18n::TextsOf(lang_base), std::move(sessions)};
    m_check = std::make_unique<update::UpdateCheck>(std::move(uctx), *m_view, main_window);
    connect(m_ui->CmdCancel, &QPushButton::clicked, this, [this] { m_check->CmdCancel_Click(); });
}

FrmUpdate::~FrmUpdate() {
    m_check->CmdCancel_Click();
    m_tasks.Join();
}

void FrmUpdate::Form_Load(int lang_base) {
    SetCaptionFromTag(this, lang_base);
    LocaliseForm(this, lang_base);
}

void FrmUpdate::Abandon() {
    m_abandoned = true;
    m_check->CmdCancel_Click();
}

void FrmUpdate::RunStartupCheck() {
    m_running = true;
    m_abandoned = false;
    m_check->BeginStartupCheck();
    m_check->BeginCheck();
    m_tasks.RunThenCallback(
        this, [check = m_check.get(), stop = m_check->StopToken()] { return check->FindOffer(stop); },
        [this](update::UpdateOffer offer) { Asked(std::move(offer)); });
}

void FrmUpdate::Asked(update::UpdateOffer offer) {
    m_tasks.Join();
    if (m_abandoned || !m_check->AskToUpdate(offer)) {
        CheckEnded();
        return;
    }
    m_tasks.RunThenCallback(
        this, [check = m_check.get(), offer, stop = m_check->StopToken()] { return check->ApplyOffer(offer, stop); },
        [this, offer](update::ApplyResult result) { Applied(offer, result); });
}

void FrmUpdate::Applied(update::UpdateOffer offer, const update::ApplyResult& result) {
    m_tasks.Join();
    if (!m_abandoned) m_check->ReportOutcome(offer, result);
    CheckEnded();
}

void FrmUpdate::CheckEnded() {
    m_check->EndCheck();
    m_check->EndStartupCheck();
    if (m_abandoned || !m_check->AppUpdated || !m_check->AskToStartSetup()) {
        Finished();
        return;
    }
    m_tasks.RunThenCallback(
        this, [check = m_check.get(), stop = m_check->StopToken()] { return check->CopySetup(stop); },
        [this](Result<std::filesystem::path> copy) {
            m_tasks.Join();
            if (!m_abandoned) m_check->StartSetup(copy);
            Finished();
        });
}

void FrmUpdate::Finished() {
    m_check->FinishStartupCheck();
    m_running = false;
    emit StartupCheckEnded();
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
    if (!m_check->MayClose()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void FrmUpdate::reject() {
    // The Escape key closes a dialog; it obeys the same rule as the close box.
    if (m_check->MayClose()) QDialog::reject();
}

} // namespace tolbe::app
