#pragma once

#include "app/AppContext.h"
#include "app/UiText.h"
#include "core/Candidates.h"
#include "core/Ranking.h"
#include "core/TestKeys.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class QCheckBox;
class QGroupBox;
class QHBoxLayout;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;

namespace tolbe::app {

class DeviceSelector;
class DownloadRunner;
class JobGate;

// The set-up assistant: for one slot, device type and brand it offers the candidates one after
// another, each sent through the windows' one download path, until the user says the device
// responds. Verdicts, ruled-out candidates and the place to resume go into the remote's record.
class FrmSetup : public QDialog, private ActiveTexts {
    Q_OBJECT
public:
    enum class Page { Choose, Try, Ask, End };

    FrmSetup(AppContext& ctx, JobGate& gate, DownloadRunner& runner, QWidget* parent);
    ~FrmSetup() override;

    Page CurrentPage() const;
    const core::CandidateList& Candidates() const { return m_list; }
    int CandidateIndex() const { return m_index; }
    Slot ChosenSlot() const { return Slot::FromNumber(m_slot); }

    // The buttons' actions, for the keyboard and the mouse alike.
    void CmdFind_Click();
    void CmdUseBrand_Click();
    void CmdResume_Click();
    void CmdDownload_Click();
    void CmdYes_Click();
    void CmdSome_Click();
    void CmdNo_Click();
    void CmdPrevious_Click();
    void CmdStop_Click();
    void CmdGoOn_Click();
    void CmdResendBest_Click();
    void CmdStartOver_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildChoosePage();
    void BuildTryPage();
    void BuildAskPage();
    void BuildEndPage();
    void FillBrands();
    void ChooseSlot(int slot);
    void ShowResumeOffer();
    // `resume`: go to the candidate of `imageSha256` (else position `at`) even when it was ruled
    // out, as the user stood there; otherwise to the first one open.
    void StartCandidates(const std::string& device, const std::string& brand, const std::string& model, int at,
                         const std::string& imageSha256, bool resume = false);
    // The first candidate from `from` on that is not ruled out; -1 when none is left.
    int NextOpen(int from) const;
    // How many candidates at the front have been answered: the tried ones stay there.
    int FirstUntried() const;
    const core::Answer* AnswerOf(int index) const;
    // Marks the answer on the candidate shown in the remote's record and counts it (Count); the
    // next open one is kept as the place to resume (none when `done`). Returns it, -1 when none
    // is left, or kAnswerNotCounted, the Try page shown again, when another download wrote the slot since.
    static constexpr int kAnswerNotCounted = -2;
    int Answer(core::Verdict verdict, std::vector<std::int32_t> keysWorked, std::vector<std::string> keyNames = {},
               bool done = false);
    // Replaces the answer of the candidate shown and re-ranks the untried ones.
    void Count(core::Verdict verdict, std::vector<std::int32_t> keysWorked);
    QString AnswerText(int index) const;
    void ShowTry(int index, bool failedBefore);
    void ShowModelHints();
    void ShowAsk(int index);
    // The end page with `text`; `next` (Look for a better one, Send the best one again) is offered
    // and takes the focus when given, else Close does.
    void ShowEnd(const QString& text, QPushButton* next = nullptr);
    // Shows `page` named in the title, with the focus moved once, onto `focus`.
    void ShowPage(Page page, QWidget* focus);
    // The slot buttons' descriptions: what the remote's record says each slot holds.
    void DescribeSlots();
    QString Stop() const; // the full stop between two sentences said in a row
    void OnDownloadFinished(bool sent);
    QString CandidateHeading() const;
    QString KeyText(const core::TestKey& key) const;

    AppContext& m_ctx;
    JobGate& m_gate;
    DownloadRunner& m_runner;
    std::int16_t m_slot = 0;
    bool m_downloading = false; // this window started the runner's download

    // What is being set up.
    std::string m_device, m_brand, m_model;
    core::CandidateList m_list; // tried ones first, in the order tried; the rest ranked (core::RankRest)
    std::vector<core::Answer> m_answers;
    int m_index = -1;
    std::vector<core::TestKey> m_keys;
    // The partly working candidate with the most keys that worked, kept if nothing works better.
    struct Best {
        int index = -1;
        std::vector<std::string> keys; // their names in the database
        QString shown;                 // as the window named them
    } m_best;
    bool m_resendingBest = false; // the try shown sends the best one again
    // The pace: each try from its page to its answer, for "about N minutes left".
    QElapsedTimer m_tryClock;
    qint64 m_triedMs = 0;
    int m_tries = 0;

    QLabel* m_labSlot = nullptr; // "TV slot", above every page
    int m_resumeSlot = -1;       // the slot the Resume offer resumes: the chosen one or another
    QStackedWidget* m_pages = nullptr;
    // Choose
    std::array<QLabel*, 4> m_slotButtons{};
    QComboBox* m_cmbDevice = nullptr;
    QComboBox* m_cmbBrand = nullptr;
    QLineEdit* m_txtModel = nullptr;
    QLabel* m_labHint = nullptr;
    QPushButton* m_cmdUseBrand = nullptr;
    QLabel* m_labResume = nullptr;
    QPushButton* m_cmdResume = nullptr;
    QPushButton* m_cmdFind = nullptr;
    QPushButton* m_cmdStartOver = nullptr;
    std::string m_suggested;
    // Try
    QLabel* m_labTryHeading = nullptr;
    QLabel* m_labCovers = nullptr;
    QLabel* m_labModels = nullptr;
    QLabel* m_labModelHint = nullptr;    // what the typed model found: a serial number, no match
    QHBoxLayout* m_nearModels = nullptr; // "Did you mean model ...?", one button a model
    std::vector<QPushButton*> m_nearButtons;
    bool m_modelHints = false; // shown until the first answer of a search
    QLabel* m_imgPress = nullptr;
    QLabel* m_imgPlug = nullptr;
    QLabel* m_imgLight = nullptr;
    QLabel* m_labTryNote = nullptr;
    QLabel* m_labEffort = nullptr;
    QPushButton* m_cmdDownload = nullptr;
    QPushButton* m_cmdTryPrevious = nullptr;
    // Ask
    QLabel* m_labAskHeading = nullptr;
    QLabel* m_labKeys = nullptr;
    QGroupBox* m_keyGroup = nullptr;
    QVBoxLayout* m_keyBoxes = nullptr;
    std::vector<QWidget*> m_answerOrder; // Yes, Some, No, Back, Stop: Tab's order after the boxes
    std::vector<QCheckBox*> m_keyChecks;
    QLabel* m_labAskNote = nullptr;
    QPushButton* m_cmdYes = nullptr;
    QPushButton* m_cmdAskPrevious = nullptr;
    // End
    QLabel* m_labEnd = nullptr;
    QPushButton* m_cmdEndClose = nullptr;
    QPushButton* m_cmdGoOn = nullptr;
    QPushButton* m_cmdResendBest = nullptr;

    std::unique_ptr<DeviceSelector> m_selector;
    QTimer m_animation;
};

} // namespace tolbe::app
