#pragma once

#include "app/AppContext.h"
#include "app/QtYield.h"
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
class FrmUpdate : public QDialog, public update::UpdateView {
    Q_OBJECT

public:
    // `sessions` makes the HTTP requests (libcurl when empty).
    FrmUpdate(AppContext& ctx, update::MainWindowHooks& main_window, QWidget* parent = nullptr,
              update::Download::SessionFactory sessions = {});
    ~FrmUpdate() override;

    // The one automatic check per program start; may end the program through the main window
    // when a fetched setup program is started.
    void RunStartupCheck();

    update::UpdateCheck& Check() { return *m_check; }
    QPushButton* CmdCancel() const;
    QPushButton* CmdUpdate() const;
    QPlainTextEdit* TxtDownloadInfo() const;
    QProgressBar* FileProgBar() const;

    void SetLog(const std::string& text) override;
    void SetProgress(int value) override;
    void SetWindowVisible(bool visible) override;
    void SetUpdateEnabled(bool enabled) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void Form_Load(int lang_base);

    std::unique_ptr<Ui::FrmUpdate> m_ui;
    PacedQtYield m_yield;
    std::unique_ptr<update::UpdateCheck> m_check;
};

} // namespace tolbe::app
