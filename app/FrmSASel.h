#pragma once

#include "app/AppContext.h"
#include "app/JobGate.h"
#include "codec/SlotTable.h"
#include "db/Database.h"
#include "update/UpdateCheck.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace Ui {
class FrmSASel;
}
class QLabel;

namespace tolbe::app {

class DeviceSelector;
class RecordsetModel;
class FrmUpdate;
class ContactLink;

// The main window: search, device slots, download, and the program's start-up and shutdown.
class FrmSASel : public QMainWindow, public update::MainWindowHooks {
    Q_OBJECT
public:
    explicit FrmSASel(AppContext& ctx, QWidget* parent = nullptr);
    ~FrmSASel() override;

    // The start-up sequence; each step runs on its own and a failing one is skipped, except
    // that a missing or unopenable database ends it with a message.
    void Form_Load();

    // Database swap after a live update; true when the new file is open and listed.
    bool Reconnect_Database(std::int16_t offered_version) override;
    // Version of the open database (0 without one); creates the version record when missing.
    std::int16_t Get_Database_Ver() override;
    // Ends the program after a fetched setup program was started (once the update check is over).
    void RequestQuit() override { close(); }

    void SearchSetOfCodes(const QString& device, const QString& brand, const QString& model);
    void AddInfo(std::int16_t slot);
    void ImageSelDev(std::int16_t slot);
    void ImgSelDev_Click(int index);
    void ImgCombDevSel_Click();
    void ImgDownload_Click();
    void LabDownload_Click() { ImgDownload_Click(); }
    bool CmdDownCodeAPI(std::uint8_t RCUModel, std::uint8_t eDevice, std::int32_t SourceID,
                        const std::string& StrKeyDown);
    void mnuLanguageIndex_Click(int index);
    void mnuHelpAbout_Click();
    void mnuFileExit_Click() { close(); }

    // Read-only views for tests and the update window.
    Ui::FrmSASel* Form() const { return ui.get(); }
    const codec::SlotTable& Slots() const { return SlotTable; }
    const db::DbRecordset* CodeRecordset() const;
    const std::vector<std::uint8_t>& CodeBufferBytes() const { return CodeBuffer; }
    bool Busy() const { return m_busy; }
    DeviceSelector* Selector() const { return m_selector.get(); }
    QTimer& AnimationTimer() { return Timer1; }
    QTimer& UpdateTimer() { return Timer3; }
    const JobGate& Gate() const { return m_gate; }
    // The window's note on why a job did not start or why it has not closed yet; null when none.
    QMessageBox* Notice() const { return m_notice; }

signals:
    // A download ended (true when the encoder succeeded and every packet was handed over).
    void DownloadFinished(bool sent);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QString T(int k) const; // text k of the active language ("" when absent)
    void FillDeviceTypes();
    void SearchFromControls();
    void TxtBrandKey_Change();
    void TxtModelKey_Change();
    void SetGridColumnWidths();
    void IRDBGrid_MouseUp(Qt::MouseButton button, const QPoint& pos);
    bool IRDBGrid_Wheel(class QWheelEvent* event);
    void CentreDownloadLabel();
    void Timer1_Timer();
    void Timer3_Timer();
    void Form_Unload();
    void StartWithDatabase();
    void StartupEnded();
    void ShowNotice(int k);

    // Keyboard and screen readers: Tab order, keys and focus rings (once, at construction); field
    // mnemonics, accessible names and the Language menu's own names (at each relabelling, in the
    // active language); the states a reader hears (after each search, slot choice and assignment).
    void SetUpKeyboard();
    void SetFieldMnemonics();
    void SetAccessibleTexts();
    void ShowLanguageOwnNames();
    void UpdateAccessibleState();
    QString AnnounceRow(int row) const;
    void IRDBGrid_Enter();
    void FitTextAreasToDpi();

    AppContext& m_ctx;
    std::unique_ptr<Ui::FrmSASel> ui;
    codec::SlotTable SlotTable{};
    std::shared_ptr<const db::DbRecordset> m_codeRecordset;
    RecordsetModel* m_model = nullptr;
    std::unique_ptr<DeviceSelector> m_selector;
    std::vector<std::uint8_t> CodeBuffer;
    std::int16_t BlockCount = 0;
    bool m_busy = false;
    bool m_volumeRaised = false;
    bool m_unloaded = false;
    bool m_startedWithDatabase = false;
    bool m_closePending = false; // closing waits for the running job
    JobGate m_gate;              // download, update check and closing, one at a time
    QPointer<QMessageBox> m_notice;
    std::filesystem::path m_levelsSetAside; // a damaged levels file moved aside, to be reported
    QTimer Timer1;
    QTimer Timer3;
    FrmUpdate* m_update = nullptr;
    ContactLink* m_contact = nullptr;
};

} // namespace tolbe::app
