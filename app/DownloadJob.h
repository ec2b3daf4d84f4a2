#pragma once

#include "audio/DownloadSequence.h"
#include "audio/WaveOut.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <thread>

namespace tolbe::app {

// Plays one download's stream on a thread of its own, so the window never waits on the device.
// Everything it reports arrives at the window thread through queued signals: the progress as the
// device's position passes each packet, then exactly one Ended.
class DownloadJob : public QObject {
    Q_OBJECT
public:
    DownloadJob(std::unique_ptr<audio::WaveOut> out, audio::DownloadSignal signal, QObject* parent = nullptr);
    // Stops the stream if it still plays and waits for the thread.
    ~DownloadJob() override;
    DownloadJob(const DownloadJob&) = delete;
    DownloadJob& operator=(const DownloadJob&) = delete;

    void Start();
    // Asks the stream to stop soon (within a piece of about 10 ms); Ended then comes with ok false
    // and StoppedOnRequest() true. Nothing after the stop is played, so the remote is left with a
    // partial download and must be readied again.
    void Stop();
    bool StoppedOnRequest() const { return m_stopRequested; }
    const QString& DeviceName() const { return m_device; }

signals:
    void ProgressStarted(int blockCount, const QString& deviceName);
    void ProgressStepped();
    // The stream is over: played to its end (ok), or the device's reason why not.
    void Ended(bool ok, const QString& reason);

private:
    void Run();

    std::unique_ptr<audio::WaveOut> m_out;
    audio::DownloadSignal m_signal;
    QString m_device;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_stopRequested{false}; // by the user, not by the job's end
    std::atomic<bool> m_destroying{false};
    std::thread m_thread;
};

} // namespace tolbe::app
