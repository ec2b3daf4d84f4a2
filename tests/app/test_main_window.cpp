#include "app/AppContext.h"
#include "app/FrmFinish.h"
#include "app/FrmProgressBar.h"
#include "app/FrmSASel.h"
#include "app/RecordsetModel.h"
#include "audio/AlsaWaveOut.h"
#include "audio/DownloadSequence.h"
#include "audio/Mixer.h"
#include "audio/Modulator.h"
#include "audio/Packets.h"
#include "audio/SignalDecoder.h"
#include "audio/WavFile.h"
#include "audio/WaveOut.h"
#include "codec/CodeRecord.h"
#include "db/DatabaseFile.h"
#include "i18n/StringTable.h"
#include "tests/support/TestSupport.h"
#include "ui_FrmSASel.h"

#include <QAccessible>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <atomic>
#include <chrono>
#include <functional>
#include <limits>
#include <thread>

using namespace tolbe;
using namespace tolbe::app;

namespace {

// A program folder with an optional database, and a main window started on it.
struct Fixture {
    test::TempDir dir;
    ProgramPaths paths{dir.Path()};
    test::MemorySettingsStore settings;
    test::ScriptedPrompt prompt;
    std::unique_ptr<AppContext> ctx;
    std::unique_ptr<FrmSASel> window;

    explicit Fixture(int deviceTypes = 10, const std::string& key = {}, const std::string& extraSql = {}) {
        std::filesystem::create_directories(paths.DatabaseFolder());
        std::filesystem::create_directories(paths.UpdateFolder());
        if (deviceTypes > 0)
            test::MakeKeyedDatabase(paths.Database(), test::MiniDatabaseSql(deviceTypes) + extraSql, key);
        settings.Set(settings_key::kLanguage, "1000");
    }
    FrmSASel& Start(const std::function<void(AppContext&)>& prepare = {}) {
        ctx = std::make_unique<AppContext>(settings, prompt, paths);
        if (prepare) prepare(*ctx);
        window = std::make_unique<FrmSASel>(*ctx);
        window->resize(900, 600);
        window->show();
        window->Form_Load();
        // Start-up ends once the database has been checked on its own thread.
        if (!QTest::qWaitFor([&] { return window->StartupFinished(); }, 60000)) qFatal("start-up did not end");
        return *window;
    }
    Ui::FrmSASel* ui() const { return window->Form(); }
    int Rows() const { return ui()->IRDBGrid->model()->rowCount(); }
    int CurrentRow() const { return ui()->IRDBGrid->currentIndex().row(); }
};

// Presses the first button of the next modal box of the program's own kind.
// Answers the next box that opens within 30 s (start-up's come once the database is checked).
void AnswerNextMessageBox(QString* seenText) {
    auto* poll = new QTimer(qApp);
    auto deadline = std::make_shared<QDeadlineTimer>(30000);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, seenText, deadline] {
        QWidget* box = QApplication::activeModalWidget();
        if (box == nullptr) {
            if (deadline->hasExpired()) poll->deleteLater();
            return;
        }
        poll->stop();
        poll->deleteLater();
        if (auto* prompt = box->findChild<QWidget*>("TxtPrompt")) *seenText = prompt->property("plainText").toString();
        if (auto* ok = box->findChild<QPushButton*>("CmdOK")) ok->click();
    });
    poll->start(5);
}

// An output device that plays nothing but reports the stream's position in 100 ms steps as a device
// would, and can hold at a chosen frame until the test releases it.
struct FakeOutput {
    std::vector<std::vector<std::uint8_t>> streams;
    std::vector<std::string> devices;
    std::size_t holdAt = std::numeric_limits<std::size_t>::max();
    std::atomic<bool> holding{false};
    std::atomic<bool> release{false};

    void Install(AppContext& ctx) {
        ctx.openWaveOut = [this](const std::string& device) {
            devices.push_back(device); // on the window thread
            return std::make_unique<Device>(*this, device);
        };
        ctx.playbackDevices = [] {
            return std::vector<audio::PlaybackDevice>{
                {"default", "Default ALSA Output (currently PulseAudio Sound Server)"},
                {"pulse", "PulseAudio Sound Server"},
                {"sysdefault:CARD=PCH", "HDA Intel PCH, ALC892 Analog", "HDA Intel PCH"}};
        };
    }

    class Device final : public audio::WaveOut {
    public:
        Device(FakeOutput& owner, std::string name) : m_owner(owner), m_name(std::move(name)) {}
        using audio::WaveOut::Play;
        Result<audio::Playback> Play(std::span<const std::uint8_t> pcm, audio::PlaybackObserver* observer) override {
            m_owner.streams.emplace_back(pcm.begin(), pcm.end());
            const std::size_t total = pcm.size() / audio::kBytesPerFrame;
            for (std::size_t at = 0; at < total; at += 4410) {
                if (observer->StopRequested()) return Result<audio::Playback>::Ok({.stopped = true});
                observer->Played(at);
                if (at >= m_owner.holdAt && !m_owner.release) {
                    m_owner.holding = true;
                    while (!m_owner.release && !observer->StopRequested())
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            }
            observer->Played(total);
            return Result<audio::Playback>::Ok({});
        }
        std::string DeviceName() const override { return m_name; }

    private:
        FakeOutput& m_owner;
        std::string m_name;
    };
};

// A mixer of two lines on whichever card is selected, logging every change.
class LoggingMixer final : public audio::Mixer {
public:
    bool OpenVolumeControl(audio::MixerLine) override { return true; }
    bool OpenMuteControl(audio::MixerLine) override { return true; }
    bool CloseMixer() override { return true; }
    bool GetVolume(std::int32_t& left, std::int32_t& right) override {
        left = right = 40;
        return true;
    }
    bool SetVolume(std::int32_t left, std::int32_t right) override {
        log.push_back(m_card + ": set volume " + std::to_string(left) + " " + std::to_string(right));
        return true;
    }
    bool GetMute(bool& muted) override {
        muted = true;
        return true;
    }
    bool SetMute(bool muted) override {
        log.push_back(m_card + ": set mute " + std::to_string(muted ? 1 : 0));
        return true;
    }
    std::int32_t VolumeMaximum() const override { return 100; }
    void SelectCard(const std::string& card) override {
        log.push_back("select " + card);
        m_card = card;
    }
    std::vector<std::string> log;

private:
    std::string m_card = "default";
};

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void startsOnTheDatabaseWithTheEighthDeviceTypeAndItsNewestCodeSets() {
        Fixture f;
        FrmSASel& w = f.Start();
        QVERIFY(f.ctx->HasDatabase());
        QCOMPARE(w.windowTitle(), QString("Tolbe"));
        QCOMPARE(f.ui()->ImgCombDevSel->count(), 10);
        QCOMPARE(f.ui()->ImgCombDevSel->currentIndex(), 7);
        QCOMPARE(f.ui()->ImgCombDevSel->currentText(), QString("TV"));
        // Two valid TV code sets, newest first; the invalid one is not listed.
        QCOMPARE(f.Rows(), 2);
        const db::DbRecordset* rs = w.CodeRecordset();
        QCOMPARE(rs->ValueAt(0, 3).Text(), std::string("Philips"));
        QCOMPARE(rs->ColumnName(2), std::string("Device"));
        // The grid shows device, brand and model; the code set's numbers and date are no columns.
        QCOMPARE(f.ui()->IRDBGrid->model()->columnCount(), 3);
        QCOMPARE(f.ui()->IRDBGrid->model()->headerData(2, Qt::Horizontal).toString(), QString("Model"));
        QCOMPARE(f.ui()->IRDBGrid->columnWidth(1), f.ui()->IRDBGrid->width() / 3); // W is the grid's width
        QCOMPARE(f.CurrentRow(), 0);
        QVERIFY(!f.ui()->FrameEmail->isVisible());
        QCOMPARE(f.ui()->LabDev->text(), QString("Device:"));
        QVERIFY(f.prompt.shown.empty());
        QVERIFY(f.ui()->mnuLanguageIndex1->isChecked());
        if (const char* shots = std::getenv("TOLBE_SCREENSHOT_DIR")) {
            QDir().mkpath(shots);
            w.grab().save(QString(shots) + "/main-window-startup.png");
        }
    }

    void germanSystemWithoutAStoredChoiceSpeaksGerman() {
        Fixture f;
        f.settings.values.clear();
        f.settings.writes = 0;
        f.ctx = nullptr;
        FrmSASel* w = nullptr;
        {
            f.ctx = std::make_unique<AppContext>(f.settings, f.prompt, f.paths);
            f.ctx->systemLanguageId = 0x0407;
            f.window = std::make_unique<FrmSASel>(*f.ctx);
            w = f.window.get();
            w->show();
            w->Form_Load();
            // Start-up ends once the database has been checked on its own thread.
            if (!QTest::qWaitFor([&] { return w->StartupFinished(); }, 60000)) qFatal("start-up did not end");
        }
        QCOMPARE(int(f.ctx->LangBase), 4000);
        QVERIFY(f.ui()->mnuLanguageIndex4->isChecked());
        QCOMPARE(f.settings.writes, 0);
        // Text 126, with the letter for Alt marked.
        QCOMPARE(f.ui()->LabDevSel->text().remove('&'), QString::fromStdString(i18n::LoadText(4000, 126)));
        QCOMPARE(f.ui()->mnuFile->title(), QString::fromStdString(i18n::LoadText(4000, 0)));
        QCOMPARE(f.window->CodeRecordset()->ColumnName(3), i18n::LoadText(4000, 156));
        QCOMPARE(w->windowTitle(), QString("Tolbe"));
    }

    void missingDatabaseShowsMessage136AndLeavesTheWindowUsable() {
        Fixture f(0);
        FrmSASel& w = f.Start();
        QCOMPARE(f.prompt.shown.size(), size_t(1));
        QCOMPARE(
            f.prompt.shown[0].text,
            std::string("The database have been deleted or renamed, the program cannot be used, please reinstall."));
        QCOMPARE(f.prompt.shown[0].title, std::string("Tolbe"));
        QVERIFY(f.prompt.shown[0].icon == Prompt::Icon::Question);
        QVERIFY(!f.ctx->HasDatabase());
        QCOMPARE(f.ui()->ImgCombDevSel->count(), 0);
        QCOMPARE(f.Rows(), 0);
        // Typing and downloading find no connection and do nothing.
        f.ui()->TxtBrandKey->setText("sam");
        QCOMPARE(f.Rows(), 0);
        QVERIFY(f.ui()->mnuFileExit->isEnabled());
        QVERIFY(w.isVisible());
    }

    void unopenableDatabaseShowsTheProgramsOwnBoxWithText141() {
        for (const char* kind : {"wrong key", "garbage"}) {
            Fixture f(10, std::string(kind) == "wrong key" ? "not the program key" : "");
            if (std::string(kind) == "garbage") test::WriteFile(f.paths.Database(), std::string(8192, 'x'));
            QString seen;
            AnswerNextMessageBox(&seen);
            f.Start();
            QCOMPARE(seen, QString("Error connecting database! database conrruption or invalid database."));
            QVERIFY(!f.ctx->HasDatabase());
            QCOMPARE(f.ui()->ImgCombDevSel->count(), 0);
            QVERIFY(f.prompt.shown.empty());
        }
    }

    void sevenDeviceTypesLeaveNothingSelectedAndTheGridEmpty() {
        Fixture f(7);
        f.Start();
        QCOMPARE(f.ui()->ImgCombDevSel->count(), 7);
        QCOMPARE(f.ui()->ImgCombDevSel->currentIndex(), -1);
        QCOMPARE(f.Rows(), 0);
        f.ui()->TxtBrandKey->setText("sam");
        QCOMPARE(f.Rows(), 0);
        // Picking a type searches it.
        f.ui()->ImgCombDevSel->setCurrentIndex(0);
        f.window->ImgCombDevSel_Click();
        QCOMPARE(f.ui()->TxtBrandKey->text(), QString());
        QCOMPARE(f.Rows(), 1); // the one DVD code set
    }

    void keyWordsSearchAndAFailedSearchShowsTheContactFrame() {
        Fixture f(10, {},
                  "INSERT INTO M_SetOfCodes VALUES(10,110,'TV','D''Accord','Q1','2021-01-01',1,'DB');"
                  "INSERT INTO M_SetOfCodes VALUES(11,111,'TV','Acme','Sound 50% Pro','2021-02-01',1,'DB');"
                  "INSERT INTO M_SetOfCodes VALUES(12,112,'TV','Acme','Sound 500 Pro','2021-03-01',1,'DB');");
        f.Start();
        f.ui()->TxtBrandKey->setText("sam sung");
        QCOMPARE(f.Rows(), 1);
        QCOMPARE(f.window->CodeRecordset()->ValueAt(0, 3).Text(), std::string("Samsung"));
        f.ui()->TxtBrandKey->setText("nothing like it");
        QCOMPARE(f.Rows(), 0);
        QVERIFY(f.ui()->FrameEmail->isVisible());
        f.ui()->TxtBrandKey->setText("d'acc");
        QCOMPARE(f.Rows(), 1);
        QVERIFY(!f.ui()->FrameEmail->isVisible());
        f.ui()->TxtBrandKey->setText("");
        f.ui()->TxtModelKey->setText("50%");
        QCOMPARE(f.Rows(), 1);
        QCOMPARE(f.window->CodeRecordset()->ValueAt(0, 4).Text(), std::string("Sound 50% Pro"));
        QVERIFY(f.prompt.shown.empty());
    }

    void wheelNotchesAndRightClicksMoveTheCurrentRow() {
        std::string sql;
        for (int i = 0; i < 30; ++i)
            sql += "INSERT INTO M_SetOfCodes VALUES(" + std::to_string(100 + i) + "," + std::to_string(500 + i) +
                   ",'TV','Brand" + std::to_string(i) + "','M','2022-01-" + (i < 9 ? "0" : "") + std::to_string(i + 1) +
                   "',1,'DB');";
        Fixture f(10, {}, sql);
        f.Start();
        QTableView* grid = f.ui()->IRDBGrid;
        QCOMPARE(f.CurrentRow(), 0);
        auto wheel = [&](int delta, Qt::KeyboardModifiers mods) {
            const QPointF pos(grid->viewport()->width() / 2.0, 10);
            QWheelEvent e(pos, grid->viewport()->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, mods,
                          Qt::NoScrollPhase, false);
            QApplication::sendEvent(grid->viewport(), &e);
        };
        wheel(-120, Qt::NoModifier);
        QCOMPARE(f.CurrentRow(), 1);
        wheel(-120, Qt::NoModifier);
        QCOMPARE(f.CurrentRow(), 2);
        wheel(120, Qt::NoModifier);
        QCOMPARE(f.CurrentRow(), 1);
        wheel(-120, Qt::ControlModifier);
        QCOMPARE(f.CurrentRow(), 1);
        wheel(-60, Qt::NoModifier); // a high-resolution step is ordinary scrolling
        QCOMPARE(f.CurrentRow(), 1);

        // The row under the pointer becomes current, whatever the row height.
        grid->verticalHeader()->setDefaultSectionSize(37);
        const int y = grid->rowViewportPosition(4) + 5;
        QTest::mouseClick(grid->viewport(), Qt::RightButton, Qt::NoModifier, QPoint(40, y));
        QCOMPARE(f.CurrentRow(), 4);
        // Rows count from the first one visible.
        grid->scrollToTop();
        QTest::mouseClick(grid->viewport(), Qt::RightButton, Qt::NoModifier, QPoint(40, 2));
        QCOMPARE(f.CurrentRow(), 0);
        // Below the last row nothing changes.
        grid->setFixedHeight(37 * 40);
        QTest::mouseClick(grid->viewport(), Qt::RightButton, Qt::NoModifier, QPoint(40, 37 * 35));
        QCOMPARE(f.CurrentRow(), 0);
        // Over the header: the top visible row.
        grid->setFixedHeight(37 * 5);
        grid->scrollTo(grid->model()->index(12, 0), QAbstractItemView::PositionAtTop);
        QTest::mouseClick(grid->horizontalHeader()->viewport(), Qt::RightButton, Qt::NoModifier, QPoint(40, 5));
        QCOMPARE(f.CurrentRow(), grid->rowAt(0));
        QVERIFY(f.CurrentRow() > 0);
    }

    void addInfoCopiesTheCurrentRowIntoTheSlot() {
        Fixture f;
        FrmSASel& w = f.Start();
        w.AddInfo(1);
        QCOMPARE(w.Slots()[1].SourceID, 102);
        QCOMPARE(w.Slots()[1].BrandName, std::string("Philips"));
        QCOMPARE(f.ui()->LabBrand->text(), QString("Brand:Philips"));
        QCOMPARE(w.Slots()[0].SourceID, 0);
        // With an empty result every step fails and the slot keeps its values.
        f.ui()->TxtBrandKey->setText("zzz");
        w.AddInfo(1);
        QCOMPARE(w.Slots()[1].SourceID, 102);
    }

    void downloadOfAnUnassignedSlotShowsMessage161() {
        Fixture f;
        FrmSASel& w = f.Start();
        f.ui()->TxtBrandKey->setText("zzz");
        w.ImgDownload_Click();
        QCOMPARE(f.prompt.shown.size(), size_t(1));
        QCOMPARE(f.prompt.shown[0].text, std::string("Please select the key function and then download!"));
        QVERIFY(!w.Busy());
    }

    void downloadPlaysOneStreamWhoseProgressFollowsThePositionThenShowsTheFinishPicture() {
        FakeOutput out; // outlives the window, which may still play on it while it closes
        Fixture f;
        FrmSASel& w = f.Start([&](AppContext& ctx) { out.Install(ctx); });
        f.ui()->TxtBrandKey->setText("sam");
        w.ImgSelDev_Click(2);
        QSignalSpy started(&w, &FrmSASel::DownloadStarted);
        QSignalSpy finished(&w, &FrmSASel::DownloadFinished);
        // Held just after the second block's buffer has played.
        const std::size_t buffer = audio::kWaveBufferBytes / audio::kBytesPerFrame;
        out.holdAt = audio::kLeadIn_ms * 441 / 10 + buffer + 400 * 441 / 10 + buffer + 80 * 441 / 10 + buffer + 1;
        w.ImgDownload_Click();
        QCOMPARE(started.count(), 1);
        QVERIFY(w.Busy());
        QVERIFY(!w.OutputMenu()->isEnabled());
        QTRY_VERIFY(out.holding.load());
        // The window thread runs freely while the device plays: a 10 ms timer keeps ticking.
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(10);
        QTRY_VERIFY(w.findChild<FrmProgressBar*>() != nullptr);
        auto* progress = w.findChild<FrmProgressBar*>();
        QTRY_COMPARE(progress->Value(), 2);
        QTest::qWait(200);
        QCOMPARE(progress->Value(), 2); // no timer moves it on while the device stands still
        QVERIFY(ticks >= 10);
        w.ImgDownload_Click(); // busy: ignored
        QCOMPARE(started.count(), 1);
        out.release = true;

        QTRY_VERIFY(w.findChild<FrmFinish*>() != nullptr);
        QVERIFY(w.findChild<FrmProgressBar*>() == nullptr);
        QVERIFY(w.Busy());
        QVERIFY(finished.wait(app::kFinishShow_ms + 2000));
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished[0][0].toBool(), true);
        QVERIFY(!w.Busy());
        QTRY_VERIFY(w.findChild<FrmFinish*>() == nullptr);
        QVERIFY(w.OutputMenu()->isEnabled());

        // One stream on the saved device, exactly the download's timeline.
        QCOMPARE(w.Slots()[2].SourceID, 101);
        const int blocks = static_cast<int>(w.CodeBufferBytes().size() / 64);
        QVERIFY(blocks >= 2 && blocks <= 12);
        QCOMPARE(out.streams.size(), size_t(1));
        QCOMPARE(out.devices, std::vector<std::string>{"default"});
        const auto expected =
            audio::BuildDownloadSignal(2, w.CodeBufferBytes(), static_cast<std::int16_t>(blocks), "DVD");
        QVERIFY(out.streams[0] == expected.pcm);
        QVERIFY(f.prompt.shown.empty());
    }

    void altDTwiceReachesTheDeviceFieldAndEscOnTheProgressWindowAsksBeforeStopping() {
        FakeOutput out;
        Fixture f;
        FrmSASel& w = f.Start([&](AppContext& ctx) { out.Install(ctx); });
        w.UpdateTimer().stop();
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        // No hidden menu shares the letter: both presses reach the field.
        for (int i = 0; i < 2; ++i) {
            f.ui()->TxtModelKey->setFocus();
            QTest::keyClick(f.ui()->TxtModelKey, Qt::Key_D, Qt::AltModifier);
            QCOMPARE(QApplication::focusWidget(), f.ui()->ImgCombDevSel);
            QVERIFY(QApplication::activePopupWidget() == nullptr);
        }
        const std::size_t buffer = audio::kWaveBufferBytes / audio::kBytesPerFrame;
        out.holdAt = audio::kLeadIn_ms * 441 / 10 + buffer + 400 * 441 / 10 + buffer + 80 * 441 / 10 + buffer + 1;
        f.ui()->LabDownload->setFocus();
        QTest::keyClick(f.ui()->LabDownload, Qt::Key_Return);
        QTRY_VERIFY(out.holding.load());
        QTRY_VERIFY(w.findChild<FrmProgressBar*>() != nullptr);
        auto* progress = w.findChild<FrmProgressBar*>();
        QTRY_COMPARE(progress->Value(), 2);
        QAccessibleInterface* dialog = QAccessible::queryAccessibleInterface(progress);
        QCOMPARE(dialog->role(), QAccessible::Dialog);
        QCOMPARE(dialog->text(QAccessible::Name), QString("TV Downloading"));
        QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(progress->findChild<QProgressBar*>());
        QCOMPARE(bar->text(QAccessible::Name), QString("Block 2 of %1").arg(progress->Maximum()));
        QVERIFY(bar->valueInterface() == nullptr); // nothing to raise or lower

        // Esc asks; No (Esc again) lets the download play on.
        QTest::keyClick(progress, Qt::Key_Escape);
        QMessageBox* ask = progress->StopQuestion();
        QVERIFY(ask && progress->isVisible());
        QCOMPARE(ask->text(), QString("Stop the download?"));
        QVERIFY(ask->informativeText().contains("3 seconds"));
        QTest::keyClick(ask, Qt::Key_Escape);
        QTRY_VERIFY(progress->StopQuestion() == nullptr);
        QVERIFY(progress->isVisible() && w.Busy());
        // Esc and Yes: the stream stops where it stood; no failure and no finish picture follow.
        QSignalSpy finished(&w, &FrmSASel::DownloadFinished);
        QTest::keyClick(progress, Qt::Key_Escape);
        QTest::keyClick(progress->StopQuestion()->button(QMessageBox::Yes), Qt::Key_Space);
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(finished[0][0].toBool(), false);
        QVERIFY(!out.release);
        QVERIFY(w.findChild<FrmProgressBar*>() == nullptr);
        QVERIFY(w.findChild<FrmFinish*>() == nullptr);
        QVERIFY(f.prompt.shown.empty());
        QVERIFY(!w.Busy());
    }

    void closingTheFinishPictureEarlyEndsTheDownloadSafely() {
        FakeOutput out; // outlives the window, which may still play on it while it closes
        Fixture f;
        FrmSASel& w = f.Start([&](AppContext& ctx) { out.Install(ctx); });
        QSignalSpy finished(&w, &FrmSASel::DownloadFinished);
        w.ImgDownload_Click();
        QTRY_VERIFY(w.findChild<FrmFinish*>() != nullptr);
        QTest::qWait(100);
        w.findChild<FrmFinish*>()->close();
        QTRY_COMPARE(finished.count(), 1);
        QVERIFY(!w.Busy());
        // The picture's own time runs out later and finds nothing left to close.
        QTest::qWait(app::kFinishShow_ms);
        QCOMPARE(finished.count(), 1);
        QVERIFY(w.findChild<FrmFinish*>() == nullptr);
        // The next download starts normally.
        w.ImgDownload_Click();
        QVERIFY(w.Busy());
        QTRY_VERIFY(w.findChild<FrmFinish*>() != nullptr);
        QCOMPARE(out.streams.size(), size_t(2));
    }

    void downloadThatCannotBePlayedShowsOneLocalisedMessageAndNoFinishPicture() {
        Fixture f;
        f.settings.Set(settings_key::kLanguage, "4000");
        f.settings.Set(settings_key::kAudioDevice, "tolbe_no_such_pcm_device");
        // No output of the test's own: the window opens the real ALSA device by the saved name.
        FrmSASel& w = f.Start();
        QSignalSpy finished(&w, &FrmSASel::DownloadFinished);
        w.ImgDownload_Click();
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished[0][0].toBool(), false);
        QVERIFY(!w.Busy());
        QVERIFY(w.OutputMenu()->isEnabled());
        QVERIFY(w.findChild<FrmFinish*>() == nullptr);
        QVERIFY(w.findChild<FrmProgressBar*>() == nullptr);
        QCOMPARE(f.prompt.shown.size(), size_t(1));
        const std::string reason =
            audio::AlsaWaveOut("tolbe_no_such_pcm_device").Play(std::vector<std::uint8_t>(4, 0)).Error();
        QVERIFY(!reason.empty());
        QCOMPARE(f.prompt.shown[0].text,
                 i18n::FormatText(i18n::LoadText(4000, 312), {"tolbe_no_such_pcm_device", reason}));
        QCOMPARE(f.prompt.shown[0].title, std::string("Tolbe"));
        QTest::qWait(200);
        QCOMPARE(finished.count(), 1);
    }

    void outputMenuListsTheSystemsDevicesAndTheChoiceTakesTheNextDownloadAndTheMixer() {
        for (const char* lang : {"1000", "4000"}) {
            FakeOutput out;
            LoggingMixer mixer; // the window restores the levels when it closes
            Fixture f;
            f.settings.Set(settings_key::kLanguage, lang);
            FrmSASel& w = f.Start([&](AppContext& ctx) {
                out.Install(ctx);
                ctx.mixer = &mixer;
                ctx.mixerStateFile = f.dir / "mixer-levels";
            });
            const int base = std::atoi(lang);
            QCOMPARE(w.OutputMenu()->title(), QString::fromStdString(i18n::LoadText(base, 310)));
            QCOMPARE(w.SaveWavAction()->text(), QString::fromStdString(i18n::LoadText(base, 311)));
            QList<QAction*> items = w.OutputMenu()->actions();
            QCOMPARE(items.size(), 3);
            QCOMPARE(items[0]->text(),
                     QString::fromUtf8("default \u2014 Default ALSA Output (currently PulseAudio Sound Server)"));
            QCOMPARE(items[2]->text(), QString("HDA Intel PCH")); // a card by its name
            QCOMPARE(items[2]->statusTip(), QString("sysdefault:CARD=PCH"));
            QVERIFY(items[0]->isChecked());
            QVERIFY(!items[2]->isChecked());
            if (const char* shots = std::getenv("TOLBE_SCREENSHOT_DIR")) {
                QDir().mkpath(shots);
                f.ui()->mnuFile->popup(w.mapToGlobal(QPoint(10, 30)));
                w.OutputMenu()->popup(w.mapToGlobal(QPoint(10 + f.ui()->mnuFile->width(), 60)));
                QTest::qWait(50);
                f.ui()->mnuFile->grab().save(QString("%1/file-menu-%2.png").arg(shots, lang));
                w.OutputMenu()->grab().save(QString("%1/output-menu-%2.png").arg(shots, lang));
                w.OutputMenu()->hide();
                f.ui()->mnuFile->hide();
            }

            mixer.log.clear();
            items = w.OutputMenu()->actions(); // opening the menu lists the devices afresh
            items[2]->trigger();
            QCOMPARE(f.settings.GetSetting(kSettingsApp, kSettingsSection, settings_key::kAudioDevice),
                     std::string("sysdefault:CARD=PCH"));
            items = w.OutputMenu()->actions();
            QVERIFY(items[2]->isChecked());
            QVERIFY(!items[0]->isChecked());
            // The default card gets its levels back, then the chosen card is raised.
            QVERIFY(!mixer.log.empty());
            QCOMPARE(mixer.log.front(), std::string("default: set mute 1"));
            QVERIFY(std::find(mixer.log.begin(), mixer.log.end(), "select hw:PCH") != mixer.log.end());
            QCOMPARE(mixer.log.back(), std::string("hw:PCH: set volume 100 100"));

            w.ImgDownload_Click();
            QTRY_VERIFY(w.findChild<FrmFinish*>() != nullptr);
            QCOMPARE(out.devices, std::vector<std::string>{"sysdefault:CARD=PCH"});
            QVERIFY(f.prompt.shown.empty());
        }
    }

    void saveAsWavWritesTheDownloadsStream() {
        FakeOutput out;
        Fixture f;
        FrmSASel& w = f.Start([&](AppContext& ctx) {
            out.Install(ctx);
            ctx.filler = [] { return std::make_unique<codec::SeededFiller>(7); };
        });
        f.ui()->TxtBrandKey->setText("sam");
        w.ImgSelDev_Click(1);
        const QString file = QString::fromStdString((f.dir / "SAT.wav").string());
        // Through the menu item and its file dialog, answered as a user would: the slot's name is
        // offered, the user picks the folder.
        QTimer::singleShot(200, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog != nullptr);
            QCOMPARE(dialog->windowTitle(), QString::fromStdString(i18n::LoadText(1000, 314)));
            dialog->setDirectory(QString::fromStdString(f.dir.Path().string()));
            QMetaObject::invokeMethod(dialog, "accept");
        });
        w.SaveWavAction()->trigger();
        QVERIFY(f.prompt.shown.empty());
        QVERIFY(std::filesystem::exists(file.toStdString()));
        const audio::WavAudio wav = audio::ReadWavFile(file.toStdString()).Value();
        QCOMPARE(wav.sample_rate, 44100);
        QCOMPARE(wav.channels, 2);
        const audio::SignalCheck check = audio::CheckDownloadSignal(wav);
        QVERIFY2(check.Ok(), check.FirstFault().c_str());
        QCOMPARE(check.slot, 1);
        // Byte for byte the stream a download of these code bytes plays, lead-in included.
        std::vector<std::uint8_t> code = check.SlotBytes();
        const auto expected =
            audio::BuildDownloadSignal(1, code, static_cast<std::int16_t>(check.header_blocks), "SAT");
        QVERIFY(wav.pcm == expected.pcm);
        QVERIFY(!w.Busy());
        // The same bytes as the download plays and as tolbe-cli writes with the same filler.
        QSignalSpy finished(&w, &FrmSASel::DownloadFinished);
        w.ImgDownload_Click();
        QVERIFY(finished.wait(20000));
        QCOMPARE(out.streams.size(), size_t(1));
        QVERIFY(out.streams[0] == wav.pcm);
        const auto cli = f.dir / "cli.wav";
        const auto run =
            test::RunProgram(TOLBE_CLI_PATH,
                             {"download", "--db", f.paths.Database().string(), "--slot", "SAT", "--source-id",
                              std::to_string(w.Slots()[1].SourceID), "--seed", "7", "--wav", cli.string()},
                             f.dir.Path());
        QCOMPARE(run.status, 0);
        QVERIFY(test::ReadFile(cli) == test::ReadFile(file.toStdString()));

        // A folder that cannot be written to gives one message naming the cause.
        QVERIFY(!w.SaveDownloadAsWav(QString::fromStdString((f.dir / "no-such-folder" / "x.wav").string())));
        QCOMPARE(f.prompt.shown.size(), size_t(1));
        QVERIFY(f.prompt.shown[0].text.starts_with("The WAV file could not be written: "));
        QVERIFY(f.prompt.shown[0].text.find("no-such-folder") != std::string::npos);
    }

    void reconnectReopensTheSwappedInDatabase() {
        Fixture f;
        FrmSASel& w = f.Start();
        f.ui()->TxtBrandKey->setText("phil");
        QCOMPARE(f.Rows(), 1);
        // The update swaps the file in on its worker; the window only reopens, keeping the search.
        test::MakeKeyedDatabase(
            f.paths.UpdateDatabase(),
            test::MiniDatabaseSql(12) +
                "INSERT INTO M_SetOfCodes VALUES(20,120,'TV','Philips','New one','2025-01-01',1,'DB');");
        QVERIFY(db::SwapInDeliveredDatabase(f.paths, db::BuildDatabaseKey()));
        QVERIFY(w.Reconnect_Database(5));
        QCOMPARE(f.ui()->ImgCombDevSel->count(), 12);
        QCOMPARE(f.ui()->ImgCombDevSel->currentIndex(), 7);
        QCOMPARE(f.ui()->TxtBrandKey->text(), QString("phil"));
        QCOMPARE(f.Rows(), 2);
        QVERIFY(std::filesystem::exists(f.paths.DatabaseBackup()));
        QCOMPARE(w.Get_Database_Ver(), std::int16_t(1));
    }

    void languageMenuStoresTheChoiceAndSpeaksTheNewLanguage() {
        Fixture f;
        FrmSASel& w = f.Start();
        w.mnuLanguageIndex_Click(6);
        QCOMPARE(f.settings.GetSetting(kSettingsApp, kSettingsSection, settings_key::kLanguage), std::string("6000"));
        QVERIFY(f.ui()->mnuLanguageIndex6->isChecked());
        QVERIFY(!f.ui()->mnuLanguageIndex1->isChecked());
        QCOMPARE(f.prompt.shown.size(), size_t(1));
        QVERIFY(
            f.prompt.shown[0].text !=
            std::string("The user interface language option will be changed when you start the software next time"));
        QCOMPARE(f.ui()->LabDev->text(), QString("Device:"));
        // The active language again still rewrites and still tells.
        const int writes = f.settings.writes;
        w.mnuLanguageIndex_Click(1);
        QCOMPARE(f.settings.writes, writes + 1);
        QCOMPARE(
            f.prompt.shown.back().text,
            std::string("The user interface language option will be changed when you start the software next time"));
    }

    void storedLanguageChoosesTheMenuItem() {
        const std::pair<const char*, int> cases[] = {{"6000", 6}, {"7000", 1}, {"500", 1}, {"abc", 0}, {"4000", 4}};
        for (const auto& [stored, index] : cases) {
            Fixture f;
            f.settings.Set(settings_key::kLanguage, stored);
            f.Start();
            QAction* items[] = {f.ui()->mnuLanguageIndex0, f.ui()->mnuLanguageIndex1, f.ui()->mnuLanguageIndex2,
                                f.ui()->mnuLanguageIndex3, f.ui()->mnuLanguageIndex4, f.ui()->mnuLanguageIndex5,
                                f.ui()->mnuLanguageIndex6};
            for (int i = 0; i < 7; ++i)
                QCOMPARE(items[i]->isChecked(), i == index);
            QCOMPARE(int(f.ctx->LangBase), index * 1000);
        }
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
