#pragma once

#include "app/AppContext.h"
#include "app/DownloadRunner.h"
#include "app/JobGate.h"
#include "app/SoundOutput.h"
#include "app/UiText.h"
#include "codec/SlotTable.h"
#include "core/Download.h"
#include "db/CodeDatabase.h"
#include "db/Database.h"
#include "update/UpdateCheck.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

namespace Ui {
class FrmSASel;
}
class QAction;
class QMenu;

namespace tolbe::app {

class CodeGrid;
class ContactLink;
class DeviceSelector;
class FrmUpdate;
class MainWindowAccess;
class RemoteWindows;

// The main window: search, device slots and download, and the program's start-up and shutdown.
// It shows and asks; the code database, the download stream and the update are the core's.
class FrmSASel : public QMainWindow, public update::MainWindowHooks, private ActiveTexts {
    Q_OBJECT
public:
    explicit FrmSASel(AppContext& ctx, QWidget* parent = nullptr);
    ~FrmSASel() override;

    // The start-up sequence; each step runs on its own and a failing one is skipped, except
    // that a missing or unopenable database ends it with a message. It returns once the database
    // is being opened and checked on a thread of its own; the rest (device types, the first
    // search, the mixer, the messages) follows on the window's thread when that has ended.
    void Form_Load();
    // True once start-up has ended, with or without a database.
    bool StartupFinished() const { return m_startupEnded; }

    // The live update's calls, on the window thread between its tasks. The reopen after the update
    // swapped a delivered database in; true when the new file is open and listed.
    bool Reconnect_Database(std::int16_t offered_version) override;
    // Version of the open database (0 without one, 1 when it records none); writes nothing.
    std::int16_t Get_Database_Ver() override;
    // Ends the program after a fetched setup program was started (once the update check is over).
    void RequestQuit() override;

    void SearchSetOfCodes(const QString& device, const QString& brand, const QString& model);
    void AddInfo(std::int16_t slot);
    // The slot's entry and, for the current slot, the slot labels: what the remote's record says
    // was written into it last.
    void ShowWritten(Slot slot);
    // The line under the slot labels: what the remote's record says the current slot holds.
    void ShowOnRemote();
    void RelabelSlot(Slot slot);
    // Before a download into the current slot: false when it would replace a working code set
    // with another one and the user does not want that.
    bool MayReplace(Slot slot, const codec::SlotInfo& replacement);
    void ImageSelDev(std::int16_t slot);
    void ImgSelDev_Click(int index);
    void ImgCombDevSel_Click();
    // Starts a download of the current slot. It ends, with DownloadFinished, once its stream has played
    // and the finish picture has gone, or at once when there is nothing to send or the device fails.
    void ImgDownload_Click();
    void LabDownload_Click() { ImgDownload_Click(); }
    // Starts playing a prepared download's stream off the window thread; its code record stays in
    // CodeBuffer.
    void CmdDownCodeAPI(core::PreparedDownload download);
    // Asks for a file and writes the current slot's download into it as a WAV file.
    void mnuFileSaveWav_Click();
    // The same without asking: the stream a download would play, lead-in included. True when written.
    bool SaveDownloadAsWav(const QString& file);
    // Plays the following downloads on `device` (saved as "AudioDevice"); the mixer levels move to its card.
    void mnuFileOutput_Click(const std::string& device);
    void mnuLanguageIndex_Click(int index);
    void mnuHelpAbout_Click();
    void mnuFileExit_Click() { close(); }

    // Read-only views for tests and the update window.
    Ui::FrmSASel* Form() const { return m_ui.get(); }
    const codec::SlotTable& Slots() const { return SlotTable; }
    const db::DbRecordset* CodeRecordset() const;
    const std::vector<std::uint8_t>& CodeBufferBytes() const { return m_runner->CodeBuffer(); }
    bool Busy() const { return m_runner->Busy(); }
    DeviceSelector* Selector() const { return m_selector.get(); }
    QTimer& AnimationTimer() { return Timer1; }
    QTimer& UpdateTimer() { return Timer3; }
    const JobGate& Gate() const { return m_gate; }
    // The window's note on why a job did not start or why it has not closed yet; null when none.
    QMessageBox* Notice() const { return m_notice; }
    QMenu* OutputMenu() const { return m_output->Menu(); }
    QAction* SaveWavAction() const { return m_saveWav; }
    // Tools > Set-up assistant and File > My remote.
    RemoteWindows* Remote() const { return m_remote; }
    // Refreshes the output menu from the system's device list; the saved device is checked.
    void FillOutputMenu() { m_output->FillMenu(); }

    // SIGTERM or SIGINT: a running transfer of the update is cancelled (its partial file goes),
    // and the window closes as soon as the running job has ended.
    void EndOnSignal();

signals:
    // A download began: from here until DownloadFinished no other download starts.
    void DownloadStarted();
    // A download ended: true when its stream played to its end (and the finish picture has gone).
    void DownloadFinished(bool sent);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    std::array<QAction*, 7> LanguageItems() const;
    void SearchFromControls();
    void CentreDownloadLabel();
    void Timer3_Timer();
    void Form_Unload();
    void StartWithDatabase();
    void StartupEnded();
    // Takes over the database opened for the window and lists it; true when it is open.
    bool ReopenDatabase(db::CodeDatabase&& opened);
    // The start-up's open and check of the database has ended (on the window's thread).
    void DatabaseOpened(db::CodeDatabase&& opened);
    void ShowNotice(int k);
    void SetUpKeyboard();
    // AddInfo, then what a download of the current slot asks the core for.
    core::DownloadRequest CurrentSlotRequest();

    AppContext& m_ctx;
    std::atomic<bool> m_gone{false}; // set when the window is being destroyed
    std::unique_ptr<Ui::FrmSASel> m_ui;
    codec::SlotTable SlotTable{};
    CodeGrid* m_grid = nullptr;
    MainWindowAccess* m_access = nullptr;
    std::unique_ptr<DeviceSelector> m_selector;
    JobGate m_gate; // download, update check and closing, one at a time
    DownloadRunner* m_runner = nullptr;
    QLabel* m_labOnRemote = nullptr;
    SoundOutput* m_output = nullptr;
    bool m_startedWithDatabase = false;
    bool m_startupEnded = false;
    std::thread m_opening; // opens and checks the database at start-up
    QPointer<QMessageBox> m_notice;
    QTimer Timer1;
    QTimer Timer3;
    FrmUpdate* m_update = nullptr;
    ContactLink* m_contact = nullptr;
    QAction* m_saveWav = nullptr;
    RemoteWindows* m_remote = nullptr;
};

} // namespace tolbe::app
