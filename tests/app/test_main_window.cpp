#include "app/AppContext.h"
#include "app/FrmSASel.h"
#include "app/QtYield.h"
#include "app/RecordsetModel.h"
#include "audio/Modulator.h"
#include "audio/Packets.h"
#include "audio/WaveOut.h"
#include "db/DatabaseFile.h"
#include "i18n/StringTable.h"
#include "tests/support/TestSupport.h"
#include "ui_FrmSASel.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

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
    FrmSASel& Start() {
        ctx = std::make_unique<AppContext>(settings, prompt, paths);
        window = std::make_unique<FrmSASel>(*ctx);
        window->resize(900, 600);
        window->show();
        window->Form_Load();
        return *window;
    }
    Ui::FrmSASel* ui() const { return window->Form(); }
    int Rows() const { return ui()->IRDBGrid->model()->rowCount(); }
    int CurrentRow() const { return ui()->IRDBGrid->currentIndex().row(); }
};

// Presses the first button of the next modal box of the program's own kind.
void AnswerNextMessageBox(QString* seenText) {
    QTimer::singleShot(0, [seenText] {
        QWidget* box = QApplication::activeModalWidget();
        if (box == nullptr) return;
        if (auto* prompt = box->findChild<QWidget*>("TxtPrompt")) *seenText = prompt->property("plainText").toString();
        if (auto* ok = box->findChild<QPushButton*>("CmdOK")) ok->click();
    });
}

// Records what would have been played.
class RecordingWaveOut final : public audio::WaveOut {
public:
    audio::WaveResult Play(std::span<const std::uint8_t> pcm) override {
        buffers.emplace_back(pcm.begin(), pcm.end());
        if (fail) return {false, "No such device"};
        return {};
    }
    std::vector<std::vector<std::uint8_t>> buffers;
    bool fail = false;
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
        QCOMPARE(f.ui()->IRDBGrid->model()->headerData(4, Qt::Horizontal).toString(), QString("Model"));
        QCOMPARE(f.CurrentRow(), 0);
        QVERIFY(f.ui()->IRDBGrid->isColumnHidden(0));
        QVERIFY(f.ui()->IRDBGrid->isColumnHidden(1));
        QVERIFY(f.ui()->IRDBGrid->isColumnHidden(5));
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
        QVERIFY(f.ctx->DBConn == nullptr);
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
            QVERIFY(f.ctx->DBConn == nullptr);
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

    void downloadPlaysEveryPacketOnceAndIgnoresASecondClick() {
        Fixture f;
        RecordingWaveOut wave;
        QtYield yield;
        FrmSASel& w = f.Start();
        f.ctx->waveOut = &wave;
        f.ctx->yield = &yield;
        f.ui()->TxtBrandKey->setText("sam");
        w.ImgSelDev_Click(2);
        QCOMPARE(int(f.ctx->CurDevice), 2);
        int finished = 0;
        QObject::connect(&w, &FrmSASel::DownloadFinished, [&](bool sent) { finished += sent ? 1 : 100; });
        // A click during the pauses finds the download busy.
        QTimer::singleShot(200, [&] {
            QVERIFY(w.Busy());
            w.ImgDownload_Click();
        });
        w.ImgDownload_Click();
        QCOMPARE(finished, 1);
        QVERIFY(!w.Busy());
        QCOMPARE(w.Slots()[2].SourceID, 101);
        const int blocks = static_cast<int>(w.CodeBufferBytes().size() / 64);
        QVERIFY(blocks >= 1 && blocks <= 12);
        QCOMPARE(int(wave.buffers.size()), blocks + 2);
        // The header names the DVD slot and the block count; the end packet closes.
        const auto header = audio::BuildHeaderPacket(2, static_cast<std::uint8_t>(blocks));
        const auto expected = audio::BuildWaveBuffer(header);
        QVERIFY(std::equal(expected.begin(), expected.end(), wave.buffers.front().begin()));
        const auto end = audio::BuildWaveBuffer(audio::BuildEndPacket());
        QVERIFY(std::equal(end.begin(), end.end(), wave.buffers.back().begin()));
        QVERIFY(f.prompt.shown.empty());
    }

    void downloadWithoutASoundDeviceShowsOneMessagePerPacket() {
        Fixture f;
        RecordingWaveOut wave;
        wave.fail = true;
        QtYield yield;
        FrmSASel& w = f.Start();
        f.ctx->waveOut = &wave;
        f.ctx->yield = &yield;
        bool sent = false;
        QObject::connect(&w, &FrmSASel::DownloadFinished, [&](bool s) { sent = s; });
        w.ImgDownload_Click();
        QVERIFY(sent);
        const int blocks = static_cast<int>(w.CodeBufferBytes().size() / 64);
        QCOMPARE(int(f.prompt.shown.size()), blocks + 2);
        QCOMPARE(f.prompt.shown[0].text, std::string("No such device"));
    }

    void reconnectSwapsInTheDeliveredDatabase() {
        Fixture f;
        FrmSASel& w = f.Start();
        f.ui()->TxtBrandKey->setText("phil");
        QCOMPARE(f.Rows(), 1);
        // Missing delivery: nothing changes.
        QVERIFY(!w.Reconnect_Database(5));
        QVERIFY(f.ctx->HasDatabase());
        QCOMPARE(f.Rows(), 1);
        // A bad delivery is refused and the current database stays.
        test::WriteFile(f.paths.UpdateDatabase(), "not a database");
        QVERIFY(!w.Reconnect_Database(5));
        QVERIFY(f.ctx->HasDatabase());
        std::filesystem::remove(f.paths.UpdateDatabase());
        test::MakeKeyedDatabase(
            f.paths.UpdateDatabase(),
            test::MiniDatabaseSql(12) +
                "INSERT INTO M_SetOfCodes VALUES(20,120,'TV','Philips','New one','2025-01-01',1,'DB');");
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
