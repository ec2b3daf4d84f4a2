#include "app/DownloadJob.h"

namespace tolbe::app {

namespace {

// Turns the progress calls of the playing thread into the job's signals.
class SignalProgress final : public audio::DownloadProgress {
public:
    explicit SignalProgress(DownloadJob& job) : m_job(job) {}
    void Start(int blockCount, const std::string& deviceName) override {
        emit m_job.ProgressStarted(blockCount, QString::fromStdString(deviceName));
    }
    void Step() override { emit m_job.ProgressStepped(); }
    void Finish() override {} // the end is reported once, by Ended

private:
    DownloadJob& m_job;
};

} // namespace

DownloadJob::DownloadJob(std::unique_ptr<audio::WaveOut> out, audio::DownloadSignal signal, QObject* parent)
    : QObject(parent), m_out(std::move(out)), m_signal(std::move(signal)),
      m_device(QString::fromStdString(m_out->DeviceName())) {}

DownloadJob::~DownloadJob() {
    m_destroying = true;
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
}

void DownloadJob::Start() {
    m_thread = std::thread([this] { Run(); });
}

void DownloadJob::Stop() {
    m_stopRequested = true;
    m_stop = true;
}

void DownloadJob::Run() {
    SignalProgress progress(*this);
    // Nothing below throws by contract; out of memory still may, and on this thread it would end the
    // program, so it ends the download with its text instead.
    Result<audio::Playback> result = Result<audio::Playback>::Fail("");
    try {
        result = audio::PlayDownloadSignal(m_signal, *m_out, progress, &m_stop);
    } catch (const std::exception& e) {
        result = Result<audio::Playback>::Fail(e.what());
    }
    // A stop from the destructor has nobody left to tell.
    if (result && result->stopped && (m_destroying || !m_stopRequested)) return;
    emit Ended(result && !result->stopped, QString::fromStdString(result.Error()));
}

} // namespace tolbe::app
