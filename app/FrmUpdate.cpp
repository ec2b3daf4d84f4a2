#include "app/FrmUpdate.h"

#include "app/LocaliseForm.h"
#include "app/WindowThread.h"
#include "i18n/StringTable.h"
#include "ui_FrmUpdate.h"

#include <QCloseEvent>

namespace tolbe::app {
namespace {

// A message box asked from the worker opens on the window thread, modal as ever; the worker
// waits for the answer.
class WindowThreadPrompt final : public Prompt {
public:
    WindowThreadPrompt(Prompt& target, QObject* owner, const std::atomic<bool>& gone)
        : m_target(target), m_owner(owner), m_gone(gone) {}
    Answer Show(const std::string& title, const std::string& text, Buttons buttons, Icon icon) override {
        return OnThreadOf(
            m_owner, [&] { return m_target.Show(title, text, buttons, icon); }, m_gone);
    }

private:
    Prompt& m_target;
    QObject* m_owner;
    const std::atomic<bool>& m_gone;
};

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
    m_prompt = std::make_unique<WindowThreadPrompt>(ctx.prompt, this, m_gone);
    m_view = std::make_unique<QueuedView>(*this);
    const int lang_base = ctx.LangBase;
    update::UpdateContext uctx{
        ctx.paths,          ctx.settings, *m_prompt, {}, [lang_base](int k) { return i18n::LoadText(lang_base, k); },
        std::move(sessions)};
    m_check = std::make_unique<update::UpdateCheck>(std::move(uctx), *m_view, main_window);
    connect(m_ui->CmdCancel, &QPushButton::clicked, this, [this] { m_check->CmdCancel_Click(); });
}

FrmUpdate::~FrmUpdate() {
    m_gone = true;
    m_check->CmdCancel_Click();
    if (m_worker.joinable()) m_worker.join();
}

void FrmUpdate::Form_Load(int lang_base) {
    SetCaptionFromTag(this, lang_base);
    LocaliseForm(this, lang_base);
}

void FrmUpdate::OnWorker(std::function<void()> work, std::function<void()> then) {
    if (m_worker.joinable()) m_worker.join();
    m_worker = std::thread([this, work = std::move(work), then = std::move(then)] {
        try {
            work();
        } catch (const WindowGone&) {
            return; // the window is being destroyed: nobody is left to go on
        }
        QMetaObject::invokeMethod(
            this,
            [this, then] {
                m_worker.join();
                then();
            },
            Qt::QueuedConnection);
    });
}

void FrmUpdate::RunStartupCheck() {
    m_running = true;
    m_check->BeginStartupCheck();
    m_check->BeginCheck();
    OnWorker([this] { m_offer = m_check->FindOffer(); },
             [this] {
                 if (!m_check->AskToUpdate(m_offer)) {
                     CheckEnded();
                     return;
                 }
                 OnWorker([this] { m_check->ApplyOffer(m_offer); },
                          [this] {
                              m_check->ReportOutcome(m_offer);
                              CheckEnded();
                          });
             });
}

void FrmUpdate::CheckEnded() {
    m_check->EndCheck();
    m_check->EndStartupCheck();
    if (!m_check->AppUpdated || !m_check->AskToStartSetup()) {
        Finished();
        return;
    }
    OnWorker([this] { m_setupCopy = m_check->CopySetup(); },
             [this] {
                 m_check->StartSetup(m_setupCopy);
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
