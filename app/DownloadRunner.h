#pragma once

#include "app/AppContext.h"
#include "app/JobGate.h"
#include "app/UiText.h"
#include "codec/SlotTable.h"
#include "core/Download.h"
#include "core/RemoteRecord.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

class QWidget;

namespace tolbe::app {

class DownloadJob;
class FrmFinish;
class FrmProgressBar;

// How long the finish picture shows after a download that played to its end.
inline constexpr int kFinishShow_ms = 3000;

// The one way the windows send a code set to the remote: the core prepares the stream, a job
// plays it off the window thread, the progress window counts the blocks and the finish picture
// ends it. A download runs as the gate's Download job, one at a time across the windows.
class DownloadRunner : public QObject, private ActiveTexts {
    Q_OBJECT
public:
    DownloadRunner(AppContext& ctx, JobGate& gate, QWidget* window);
    // A stream still playing is stopped before anything it reports to is gone.
    ~DownloadRunner() override;

    // The stream a download of `request` would play, lead-in included; nothing after telling the
    // user why not (an encoder's refusal is not told, as the download always had it).
    std::optional<core::PreparedDownload> Prepare(const core::DownloadRequest& request);
    // The same for a download that, once played to its end, is recorded in the remote's record
    // as `written` (the slot's code set, verdict "not tried").
    std::optional<core::PreparedDownload> PrepareSend(const core::DownloadRequest& request,
                                                      const codec::SlotInfo& written);
    // Starts a download, the gate already taken for it by the caller. It ends, with Finished,
    // once its stream has played and the finish picture has gone, or at once when there is
    // nothing to send or the device fails. `prepare` runs after Started, so its messages show
    // with the download already under way.
    // The progress window and the finish picture show over `over` (the runner's window when null).
    void Run(const std::function<std::optional<core::PreparedDownload>()>& prepare, QWidget* over = nullptr);
    // Starts playing a prepared download's stream; its code record stays in CodeBuffer.
    void Play(core::PreparedDownload download);
    // Writes the stream a download of `request` would play into `file` as a WAV file; true
    // when written, else the user was told why not.
    bool SaveAsWav(const core::DownloadRequest& request, const QString& file);

    // Asks where to save a slot's download as a WAV file; empty when the user cancelled.
    QString AskWavFile(Slot slot) const;

    // The remote's record, as this computer wrote it; every window reads and marks this one.
    core::RemoteRecord& Record() { return m_record; }
    // Reads the record file at start; what it set aside is told by TellSetAside.
    void LoadRecord();
    // Reads the record file again (tolbe-cli may have changed it), tells what was set aside and
    // emits RecordChanged: when My remote or the assistant opens.
    void LookAtRecord();
    // Tells the user of every damaged record file set aside since the last time, by this program
    // or by tolbe-cli; each once.
    void TellSetAside();
    // Changes the record as it is on disk now, under the record's lock (core::RemoteRecord::Change),
    // so a change tolbe-cli makes meanwhile is kept; what was set aside is told, and when the
    // record cannot be written the user is told why. True when written.
    bool ChangeRecord(const std::function<void(core::RemoteRecord&)>& change);

    bool Busy() const { return m_busy; }
    const std::vector<std::uint8_t>& CodeBuffer() const { return m_codeBuffer; }
    std::int16_t BlockCount() const { return m_blockCount; }

signals:
    // A download began: from here until Finished no other download starts.
    void Started();
    // A download ended: true when its stream played to its end (and the finish picture has gone).
    void Finished(bool sent);
    // A played download was written into the remote's record for `slot`.
    void Recorded(Slot slot);
    // The remote's record changed (a download, a verdict, a ruled-out candidate): the windows that
    // show it follow at once.
    void RecordChanged();

private:
    // Tells the user why the record was not written, in the window's language.
    void SayNotSaved(const std::string& why, const std::error_code& error);
    void End(bool sent);
    void OnProgressStarted(int blockCount, const QString& deviceName);
    void OnProgressStepped();
    void OnPlaybackEnded(bool ok, const QString& reason);
    void ShowFinish(Slot slot);

    AppContext& m_ctx;
    JobGate& m_gate;
    QWidget* m_window;
    QWidget* m_over = nullptr; // the window the running download shows over
    core::RemoteRecord m_record;
    // The slot and code set the running download writes, when it is to be recorded.
    std::optional<std::pair<Slot, codec::SlotInfo>> m_writes;
    bool m_busy = false;
    std::vector<std::uint8_t> m_codeBuffer;
    std::int16_t m_blockCount = 0;
    DownloadJob* m_job = nullptr;
    FrmProgressBar* m_progress = nullptr;
    QPointer<FrmFinish> m_finish;
    QTimer m_finishTimer;
};

} // namespace tolbe::app
