#include "app/DownloadRunner.h"

#include "app/DownloadJob.h"
#include "app/FrmFinish.h"
#include "app/FrmProgressBar.h"
#include "app/LocaliseForm.h"
#include "app/ShowMessage.h"
#include "audio/AlsaWaveOut.h"
#include "audio/Modulator.h"
#include "audio/WavFile.h"
#include "codec/CodeRecord.h"
#include "codec/DownOrder.h"
#include "common/PathText.h"
#include "i18n/StringTable.h"

#include <QFileDialog>

#include <exception>
#include <filesystem>

namespace tolbe::app {

DownloadRunner::DownloadRunner(AppContext& ctx, JobGate& gate, QWidget* window)
    : QObject(window), ActiveTexts(ctx.LangBase), m_ctx(ctx), m_gate(gate), m_window(window), m_over(window),
      m_record(ctx.paths.RemoteRecordFile()) {
    m_finishTimer.setSingleShot(true);
    connect(&m_finishTimer, &QTimer::timeout, this, [this] {
        if (m_finish) m_finish->close();
    });
}

DownloadRunner::~DownloadRunner() {
    if (m_job != nullptr) {
        m_job->disconnect(this);
        delete m_job;
    }
    if (m_finish) {
        m_finish->disconnect(this);
        delete m_finish;
    }
}

std::optional<core::PreparedDownload> DownloadRunner::Prepare(const core::DownloadRequest& request) {
    std::unique_ptr<codec::FillerSource> filler =
        m_ctx.filler ? m_ctx.filler() : std::make_unique<codec::SeededFiller>();
    core::DownloadResult<core::PreparedDownload> prepared = core::PrepareDownload(m_ctx.database, request, *filler);
    if (prepared) return std::move(*prepared);
    switch (prepared.ErrorKind()) {
    case core::Refusal::NotAssigned:
        m_ctx.prompt.Show(kProductName, T(kTextChooseKeys).toStdString(), Prompt::Buttons::Ok, Prompt::Icon::None);
        return std::nullopt;
    case core::Refusal::NoDatabase:
    case core::Refusal::DatabaseFailed:
        ShowDatabaseError(m_ctx.LangBase);
        return std::nullopt;
    case core::Refusal::EncoderRefused:
        break;
    }
    return std::nullopt; // the encoder refused: nothing is sent and nothing is said
}

std::optional<core::PreparedDownload> DownloadRunner::PrepareSend(const core::DownloadRequest& request,
                                                                  const codec::SlotInfo& written) {
    std::optional<core::PreparedDownload> prepared = Prepare(request);
    if (prepared) m_writes.emplace(request.slot, written);
    return prepared;
}

void DownloadRunner::LoadRecord() {
    m_record.Load();
}

void DownloadRunner::LookAtRecord() {
    m_record.Load();
    TellSetAside();
    emit RecordChanged();
}

void DownloadRunner::TellSetAside() {
    for (const std::filesystem::path& where : m_record.TakeUnreported())
        m_ctx.prompt.Show(kProductName, T(kTextRecordSetAside).toStdString() + "\n" + where.string(),
                          Prompt::Buttons::Ok, Prompt::Icon::Warning);
}

bool DownloadRunner::ChangeRecord(const std::function<void(core::RemoteRecord&)>& change) {
    const core::RemoteRecord::ChangeReport report = m_record.Change(change);
    // The messages wait until the lock is given back, so tolbe-cli never waits for the user.
    TellSetAside();
    if (!report.saved) SayNotSaved(report.saved.Error(), report.saved.ErrorKind());
    emit RecordChanged();
    return static_cast<bool>(report.saved);
}

void DownloadRunner::SayNotSaved(const std::string& why, const std::error_code& error) {
    QString text = T(kTextRecordNotSaved);
    if (text.isEmpty()) text = QStringLiteral("%1");
    // The reason in the window's language; the system's own words stay for anything else.
    const QString file = QString::fromStdString(m_record.File().string());
    QString reason = QString::fromStdString(why);
    if (!error)
        reason = T(kTextRecordUnread);
    else if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted ||
             error == std::errc::read_only_file_system)
        reason = T(kTextMayNotWrite).arg(QString::fromStdString(m_record.File().parent_path().string()));
    else if (error == std::errc::no_space_on_device)
        reason = T(kTextDiskFull);
    else
        reason = T(kTextNotWritten).arg(file) + QStringLiteral(" (") + QString::fromStdString(error.message()) +
                 QLatin1Char(')');
    m_ctx.prompt.Show(kProductName, text.arg(reason).toStdString(), Prompt::Buttons::Ok, Prompt::Icon::Warning);
}

void DownloadRunner::Run(const std::function<std::optional<core::PreparedDownload>()>& prepare, QWidget* over) {
    m_busy = true;
    m_over = over != nullptr ? over : m_window;
    m_writes.reset();
    emit Started();
    std::optional<core::PreparedDownload> prepared = prepare();
    if (!prepared) {
        End(false);
        return;
    }
    Play(std::move(*prepared));
    // The stream plays on, and OnPlaybackEnded ends the download.
}

void DownloadRunner::End(bool sent) {
    if (!m_busy) return;
    m_busy = false;
    m_writes.reset();
    m_gate.Finish(Job::Download);
    emit Finished(sent);
}

void DownloadRunner::Play(core::PreparedDownload download) {
    m_codeBuffer = std::move(download.CodeBuffer);
    m_blockCount = download.BlockCount;
    const std::string device = audio::PcmDeviceFromSettings(m_ctx.settings);
    std::unique_ptr<audio::WaveOut> out = m_ctx.openWaveOut ? m_ctx.openWaveOut(device) : nullptr;
    if (out == nullptr) out = std::make_unique<audio::AlsaWaveOut>(device);
    m_job = new DownloadJob(std::move(out), std::move(download.signal), this);
    connect(m_job, &DownloadJob::ProgressStarted, this, &DownloadRunner::OnProgressStarted);
    connect(m_job, &DownloadJob::ProgressStepped, this, &DownloadRunner::OnProgressStepped);
    connect(m_job, &DownloadJob::Ended, this, &DownloadRunner::OnPlaybackEnded);
    m_job->Start();
}

void DownloadRunner::OnProgressStarted(int blockCount, const QString& deviceName) {
    try {
        delete m_progress;
        m_progress = new FrmProgressBar(m_over);
        LocaliseForm(m_progress, m_ctx.LangBase);
        m_progress->SetMaximum(blockCount);
        m_progress->SetValue(0);
        m_progress->SetDeviceCaption(deviceName, m_ctx.LangBase);
        if (m_job != nullptr) connect(m_progress, &FrmProgressBar::StopRequested, m_job, &DownloadJob::Stop);
        m_progress->show();
    } catch (const std::exception&) {
        // The count is a courtesy; the stream plays without it.
    }
}

void DownloadRunner::OnProgressStepped() {
    if (m_progress != nullptr) m_progress->AddOne();
}

void DownloadRunner::OnPlaybackEnded(bool ok, const QString& reason) {
    delete m_progress;
    m_progress = nullptr;
    const QString device = m_job != nullptr ? m_job->DeviceName() : QString();
    const bool stopped = m_job != nullptr && m_job->StoppedOnRequest(); // the user was told before
    if (m_job != nullptr) m_job->deleteLater();
    m_job = nullptr;
    if (ok) {
        // The slot the finish picture names: the one written, else the main window's.
        const Slot programmed = m_writes ? m_writes->first : Slot::FromNumber(m_ctx.CurDevice);
        // The remote now holds it: what this computer wrote is what the record says.
        if (m_writes) {
            const Slot slot = m_writes->first;
            const codec::SlotInfo written = m_writes->second;
            m_writes.reset();
            ChangeRecord([&](core::RemoteRecord& record) {
                record.RecordDownload(slot, written, m_ctx.database.Version(), m_codeBuffer);
            });
            emit Recorded(slot);
        }
        ShowFinish(programmed);
        return;
    }
    if (stopped) {
        End(false);
        return;
    }
    QString text = T(kTextPlaybackFailed);
    if (text.isEmpty()) text = QStringLiteral("%1: %2");
    m_ctx.prompt.Show(kProductName, text.arg(device, reason).toStdString(), Prompt::Buttons::Ok, Prompt::Icon::Warning);
    End(false);
}

void DownloadRunner::ShowFinish(Slot slot) {
    // The picture may be closed early by the user; whoever closes it, its going ends the download.
    auto* finish = new FrmFinish(m_over);
    finish->setAttribute(Qt::WA_DeleteOnClose);
    finish->SayProgrammed(m_ctx.LangBase, QString::fromStdString(slot.Name()));
    m_finish = finish;
    connect(finish, &QObject::destroyed, this, [this] {
        m_finishTimer.stop();
        End(true);
    });
    finish->show();
    m_finishTimer.start(kFinishShow_ms);
}

QString DownloadRunner::AskWavFile(Slot slot) const {
    QFileDialog dialog(m_window, T(kTextWavDialog));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(T(kTextWavFiles) + QStringLiteral(" (*.wav)"));
    dialog.setDefaultSuffix(QStringLiteral("wav"));
    dialog.selectFile(QString::fromStdString(slot.Name()) + QStringLiteral(".wav"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
}

bool DownloadRunner::SaveAsWav(const core::DownloadRequest& request, const QString& file) {
    // A download of its own: CodeBuffer keeps the last download's bytes.
    const std::optional<core::PreparedDownload> prepared = Prepare(request);
    if (!prepared) return false;
    const Status saved = audio::WriteWavFile(PathFromUtf8(file.toStdString()), prepared->signal.pcm, audio::kSampleRate,
                                             audio::kChannels);
    if (saved) return true;
    QString text = T(kTextWavFailed);
    if (text.isEmpty()) text = QStringLiteral("%1");
    m_ctx.prompt.Show(kProductName, text.arg(QString::fromStdString(saved.Error())).toStdString(), Prompt::Buttons::Ok,
                      Prompt::Icon::Warning);
    return false;
}

} // namespace tolbe::app
