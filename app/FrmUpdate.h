#pragma once

#include "app/AppContext.h"
#include "app/WindowThread.h"
#include "update/UpdateCheck.h"

#include <QDialog>

#include <memory>

class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace Ui {
class FrmUpdate;
}

namespace tolbe::app {

// The live-update window. The main window creates it hidden and, one second after its own load,
// calls RunStartupCheck; the window shows itself only while an accepted update is fetched and
// cannot be closed while the start-up check runs.
//
// The network and file work runs as tasks on a worker of the window's own (FindOffer, ApplyOffer,
// CopySetup: each takes the check's stop and returns its result); the questions, the reopening of
// the database and the messages come on the window thread between the tasks, and what a task
// shows (the log, the progress) reaches the window thread queued. Nothing on the window thread
// waits for the network, and the worker never waits for the window.
class FrmUpdate : public QDialog, public update::UpdateView {
    Q_OBJECT

public:
    // `sessions` makes the HTTP requests (libcurl when empty). `main_window` is called on the
    // worker.
    FrmUpdate(AppContext& ctx, update::MainWindowHooks& main_window, QWidget* parent = nullptr,
              update::Download::SessionFactory sessions = {});
    // Stops the running task (any step ends within one piece of work) and joins the worker.
    ~FrmUpdate() override;

    // Starts the one automatic check per program start and returns; StartupCheckEnded follows.
    // It may end the program through the main window when a fetched setup program is started.
    void RunStartupCheck();
    bool Running() const { return m_running; }
    // The main window closes: the running task is stopped, and what is left of the check ends
    // without questions or messages.
    void Abandon();

    update::UpdateCheck& Check() { return *m_check; }
    QPushButton* CmdCancel() const;
    QPushButton* CmdUpdate() const;
    QPlainTextEdit* TxtDownloadInfo() const;
    QProgressBar* FileProgBar() const;

    void SetLog(const std::string& text) override;
    void SetProgress(int value) override;
    void SetWindowVisible(bool visible) override;
    void SetUpdateEnabled(bool enabled) override;

signals:
    void StartupCheckEnded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void Form_Load(int lang_base);
    void Asked(update::UpdateOffer offer);
    void Applied(update::UpdateOffer offer, const update::ApplyResult& result);
    void CheckEnded();
    void Finished();

    std::unique_ptr<Ui::FrmUpdate> m_ui;
    std::unique_ptr<update::UpdateView> m_view; // this window, reached from the worker queued
    std::unique_ptr<update::UpdateCheck> m_check;
    bool m_running = false;
    bool m_abandoned = false;
    TaskThread m_tasks; // declared last: joined before anything a task uses goes
};

} // namespace tolbe::app
