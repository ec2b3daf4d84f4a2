#pragma once

#include "app/AppContext.h"
#include "update/UpdateCheck.h"

#include <QDialog>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

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
// The network and file work runs on a worker thread of the window's own, one step at a time; the
// questions are asked on the window thread between the steps, and what the worker shows (the log,
// the progress, a transfer's error message) reaches the window thread queued. Nothing on the window
// thread ever waits for the network.
class FrmUpdate : public QDialog, public update::UpdateView {
    Q_OBJECT

public:
    // `sessions` makes the HTTP requests (libcurl when empty). `main_window` is called on the
    // worker.
    FrmUpdate(AppContext& ctx, update::MainWindowHooks& main_window, QWidget* parent = nullptr,
              update::Download::SessionFactory sessions = {});
    // Cancels a running transfer and waits for the worker.
    ~FrmUpdate() override;

    // Starts the one automatic check per program start and returns; StartupCheckEnded follows.
    // It may end the program through the main window when a fetched setup program is started.
    void RunStartupCheck();
    bool Running() const { return m_running; }

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
    // Runs `work` on the worker, then `then` on the window thread.
    void OnWorker(std::function<void()> work, std::function<void()> then);
    void CheckEnded();
    void Finished();

    std::unique_ptr<Ui::FrmUpdate> m_ui;
    std::atomic<bool> m_gone{false};
    std::unique_ptr<Prompt> m_prompt;           // the context's prompt, asked on the window thread
    std::unique_ptr<update::UpdateView> m_view; // this window, reached from the worker queued
    std::unique_ptr<update::UpdateCheck> m_check;
    std::thread m_worker;
    bool m_running = false;
    update::UpdateOffer m_offer;
    std::optional<std::filesystem::path> m_setupCopy;
};

} // namespace tolbe::app
