#pragma once

#include "app/AppContext.h"
#include "app/UiText.h"

#include <QDialog>

#include <array>
#include <deque>

class QLabel;
class QPushButton;
class QWidget;

namespace tolbe::app {

class DownloadRunner;
class JobGate;

// My remote: the four slots as this computer last wrote them (the remote itself cannot be read),
// with the user's verdicts, and the downloads that write them again: one slot, or all four in a
// row with the remote readied before each.
class FrmMyRemote : public QDialog, private ActiveTexts {
    Q_OBJECT
public:
    FrmMyRemote(AppContext& ctx, JobGate& gate, DownloadRunner& runner, QWidget* parent);

    // Shows the record as it is now.
    void Refresh();
    // Queues the slot (or every written slot) and shows the first instruction step.
    void SendAgain(Slot slot);
    void SendAll();
    // The instruction step's buttons: send the waiting slot now, or give up the row.
    void CmdSend_Click();
    void CmdCancel_Click();
    // The slots still to send, the first being the one the instruction step is for.
    const std::deque<Slot>& Waiting() const { return m_waiting; }

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowStep();
    void OnDownloadFinished(bool sent);

    AppContext& m_ctx;
    JobGate& m_gate;
    DownloadRunner& m_runner;
    std::array<QLabel*, 4> m_what{};
    std::array<QLabel*, 4> m_verdict{};
    std::array<QPushButton*, 4> m_sendAgain{};
    QPushButton* m_sendAll = nullptr;
    QWidget* m_step = nullptr;
    QLabel* m_stepText = nullptr;
    QPushButton* m_send = nullptr;
    std::deque<Slot> m_waiting;
    int m_stepCount = 0; // slots in the row that is being sent
    bool m_downloading = false;
};

} // namespace tolbe::app
