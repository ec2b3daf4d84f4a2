#include "app/AppContext.h"
#include "app/DownloadRunner.h"
#include "app/FrmMyRemote.h"
#include "app/FrmSASel.h"
#include "app/FrmSetup.h"
#include "app/RemoteWindows.h"
#include "audio/DownloadSequence.h"
#include "audio/Mixer.h"
#include "audio/WaveOut.h"
#include "db/VersionRecord.h"
#include "tests/app/RecordingOutput.h"
#include "tests/support/TestSupport.h"
#include "tests/update/HttpTestServer.h"
#include "tests/update/SigningKey.h"
#include "ui_FrmSASel.h"

#include <QDir>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <map>

using namespace tolbe;
using namespace tolbe::app;
using test::ScriptedResponse;

namespace {

// Answers from a script like the test prompt, but can keep a box open for a while with the window's
// events running, as a user reading it does; and notes when one box opened inside another.
class ReadingPrompt final : public Prompt {
public:
    Answer Show(const std::string& title, const std::string& text, Buttons buttons, Icon icon) override {
        ++m_open;
        if (m_open > 1) nested = true;
        const Answer answer = script.Show(title, text, buttons, icon);
        if (hold_first_ms > 0 && script.shown.size() == 1) QTest::qWait(hold_first_ms);
        --m_open;
        return answer;
    }
    test::ScriptedPrompt script;
    int hold_first_ms = 0;
    bool nested = false;

private:
    int m_open = 0;
};

// A sound card with both lines, in memory.
class CardMixer final : public audio::Mixer {
public:
    struct Line {
        std::int32_t left, right, maximum;
        bool muted;
    };
    std::map<audio::MixerLine, Line> lines{{audio::MixerLine::WaveOut, {100, 120, 255, true}},
                                           {audio::MixerLine::Speakers, {30, 40, 87, false}}};

    bool OpenVolumeControl(audio::MixerLine line) override { return Open(line); }
    bool OpenMuteControl(audio::MixerLine line) override { return Open(line); }
    bool CloseMixer() override {
        m_line = nullptr;
        return true;
    }
    bool GetVolume(std::int32_t& left, std::int32_t& right) override {
        left = m_line->left;
        right = m_line->right;
        return true;
    }
    bool SetVolume(std::int32_t left, std::int32_t right) override {
        m_line->left = left;
        m_line->right = right;
        return true;
    }
    bool GetMute(bool& muted) override {
        muted = m_line->muted;
        return true;
    }
    bool SetMute(bool muted) override {
        m_line->muted = muted;
        return true;
    }
    std::int32_t VolumeMaximum() const override { return m_line->maximum; }
    bool Raised() const {
        for (const auto& [line, l] : lines)
            if (l.muted || l.left != l.maximum || l.right != l.maximum) return false;
        return true;
    }
    bool AsTheUserLeftIt() const {
        const Line& w = lines.at(audio::MixerLine::WaveOut);
        const Line& s = lines.at(audio::MixerLine::Speakers);
        return w.left == 100 && w.right == 120 && w.muted && s.left == 30 && s.right == 40 && !s.muted;
    }

private:
    bool Open(audio::MixerLine line) {
        m_line = &lines.at(line);
        return true;
    }
    Line* m_line = nullptr;
};

// A program folder, an update server, a sound card and a main window on them.
struct Fixture {
    test::TempDir dir;
    ProgramPaths paths{dir / "program"};
    test::MemorySettingsStore settings;
    ReadingPrompt prompt;
    test::HttpTestServer server;
    test::SigningKey key;
    test::RecordingOutput out;
    CardMixer mixer;
    std::unique_ptr<AppContext> ctx;
    std::unique_ptr<FrmSASel> window;

    explicit Fixture(bool withDatabase = true) {
        std::filesystem::create_directories(paths.DatabaseFolder());
        std::filesystem::create_directories(paths.UpdateFolder());
        if (withDatabase) test::MakeKeyedDatabase(paths.Database(), test::MiniDatabaseSql(10));
        settings.Set(settings_key::kLanguage, "1000");
        test::WriteFile(paths.ServerIni(), "[LiveUpdate]\r\nIP_Address=" + server.Url("/srv/Update.txt") +
                                               "\r\nPublicKey=" + key.PublicKey() + "\r\n");
        server.Route("/srv/Update.txt", ScriptedResponse::Ok("[LiveUpdate]\r\nAPP_Version=2.0.9\r\n"));
    }
    std::filesystem::path LevelsFile() const { return dir / "state" / "Tolbe" / "mixer-levels"; }
    // Offers a newer database of twelve device types, sent slowly when `slow`; it carries its own
    // version record, since an update never takes a database that is not newer than the user's.
    void OfferDatabase(bool slow) {
        const auto file = dir / "offered.db3";
        test::MakeKeyedDatabase(file, test::MiniDatabaseSql(12) + db::VersionTableStatement("d") +
                                          ";insert into M_Version values(1, 7, 'd', null);");
        const std::string bytes = test::ReadFile(file);
        ScriptedResponse body = ScriptedResponse::Ok(bytes);
        if (slow) {
            body.chunk_bytes = 4096;
            body.chunk_delay = std::chrono::milliseconds(60);
        }
        test::ServeSignedDescriptor(
            server, "/srv/Update.txt", key,
            "APP_Version=2.0.9\r\nDB_Version=7\r\nDB_WEB=" + server.Url("/files/IR_Database.db3") + "\r\n", bytes);
        server.Route("/files/IR_Database.db3", body);
    }
    FrmSASel& Start() {
        ctx = std::make_unique<AppContext>(settings, prompt, paths);
        out.Install(*ctx);
        ctx->mixer = &mixer;
        ctx->mixerStateFile = LevelsFile();
        window = std::make_unique<FrmSASel>(*ctx);
        window->show();
        window->Form_Load();
        // Start-up ends once the database has been checked on its own thread.
        if (!QTest::qWaitFor([&] { return window->StartupFinished(); }, 60000)) qFatal("start-up did not end");
        return *window;
    }
    Ui::FrmSASel* ui() const { return window->Form(); }
    int UpdateRequests() const { return server.RequestsFor("/srv/Update.txt"); }
    const std::vector<test::ScriptedPrompt::Shown>& Shown() const { return prompt.script.shown; }
};

} // namespace

class OneJobAtATimeTest : public QObject {
    Q_OBJECT
private slots:
    // Start-up finds no database and its message stays open longer than the update timer's second;
    // the update comes only after the message, and the database it delivers stays in use.
    void anUpdateAcceptedAfterTheMissingDatabaseMessageIsKept() {
        Fixture f(false);
        f.OfferDatabase(false);
        f.prompt.hold_first_ms = 1500;
        f.prompt.script.answers = {Prompt::Answer::Ok, Prompt::Answer::Yes, Prompt::Answer::Ok};
        FrmSASel& w = f.Start();
        QCOMPARE(f.UpdateRequests(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(f.Shown().size() >= 3, 20000);
        QVERIFY(!f.prompt.nested);
        QCOMPARE(
            f.Shown()[0].text,
            std::string("The database have been deleted or renamed, the program cannot be used, please reinstall."));
        QCOMPARE(f.Shown()[1].text, std::string("Found a new version, is it updated?"));
        QCOMPARE(f.Shown()[2].text, std::string("All Files updated!"));
        // Ready at once: the list, the grid, the slot captions, the raised output.
        QTRY_VERIFY(!w.Gate().Running().has_value());
        QVERIFY(f.ctx->HasDatabase());
        QCOMPARE(f.ui()->ImgCombDevSel->count(), 12);
        QVERIFY(f.ui()->IRDBGrid->model()->rowCount() > 0);
        QCOMPARE(f.ui()->LabDev->text(), QString("Device:"));
        QVERIFY(f.mixer.Raised());
        w.close();
        QVERIFY(f.mixer.AsTheUserLeftIt());
    }

    // The update check falls due one second after load, in the middle of a download: it waits and
    // then runs, silently.
    void anUpdateCheckDueDuringADownloadComesAfterIt() {
        Fixture f;
        FrmSASel& w = f.Start();
        int requestsAtEnd = -1;
        bool ended = false;
        QObject::connect(&w, &FrmSASel::DownloadFinished, [&](bool) {
            requestsAtEnd = f.UpdateRequests();
            ended = true;
        });
        bool updateWaited = false;
        QTimer::singleShot(1500, [&] { updateWaited = !f.window->UpdateTimer().isActive(); });
        w.ImgDownload_Click();
        QTRY_VERIFY_WITH_TIMEOUT(ended, 15000);
        QVERIFY(updateWaited); // the timer had fired by then
        QCOMPARE(requestsAtEnd, 0);
        QTRY_VERIFY_WITH_TIMEOUT(f.UpdateRequests() >= 1, 10000);
        QTRY_VERIFY(!w.Gate().Running().has_value());
        QVERIFY(w.Notice() == nullptr);
        QVERIFY(f.Shown().empty());
    }

    // Download is clicked while an accepted database is being fetched: nothing plays, the user is
    // told why, and the update goes on to its end.
    void aDownloadClickedDuringAnUpdateTransferIsRefusedWithAReason() {
        Fixture f;
        f.OfferDatabase(true);
        f.prompt.script.answers = {Prompt::Answer::Yes, Prompt::Answer::Ok};
        FrmSASel& w = f.Start();
        bool clicked = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (clicked || f.server.RequestsFor("/files/IR_Database.db3") == 0) return;
            if (w.Gate().Running() != Job::UpdateCheck) return;
            clicked = true;
            w.ImgDownload_Click();
        });
        poll.start(20);
        QTRY_VERIFY_WITH_TIMEOUT(clicked, 20000);
        QVERIFY(f.out.streams.empty());
        QVERIFY(w.Notice() != nullptr && w.Notice()->isVisible());
        QCOMPARE(w.Notice()->text(),
                 QString("A live update is running. Please start the download when it has finished."));
        if (const char* shots = std::getenv("TOLBE_SCREENSHOT_DIR")) {
            QDir().mkpath(shots);
            w.Notice()->grab().save(QString(shots) + "/job-notice-download-refused.png");
        }
        QTRY_VERIFY_WITH_TIMEOUT(f.Shown().size() >= 2, 20000);
        QCOMPARE(f.Shown()[1].text, std::string("All Files updated!"));
        QTRY_VERIFY(!w.Gate().Running().has_value());
        QCOMPARE(f.ui()->ImgCombDevSel->count(), 12);
        QVERIFY(f.out.streams.empty());
    }

    // The window is closed in the middle of a download, the assistant and My remote open: the
    // download plays to its end packet with the output still raised, then the window goes and the
    // user's levels come back; the windows that hold the runner go before it.
    void closingDuringADownloadWaitsForTheEndPacketThenRestoresTheMixer() {
        Fixture f;
        FrmSASel& w = f.Start();
        QVERIFY(f.mixer.Raised());
        w.Remote()->mnuToolsSetup_Click();
        w.Remote()->mnuFileMyRemote_Click();
        QPointer<FrmSetup> setup = w.Remote()->Setup();
        QPointer<FrmMyRemote> mine = w.Remote()->MyRemote();
        QVERIFY(setup != nullptr && mine != nullptr);
        bool usersGoneFirst = false;
        QObject::connect(w.findChild<DownloadRunner*>(), &QObject::destroyed,
                         [&] { usersGoneFirst = setup.isNull() && mine.isNull(); });
        QVERIFY(std::filesystem::exists(f.LevelsFile()));
        bool closedAtOnce = true;
        QTimer::singleShot(300, [&] { closedAtOnce = w.close(); });
        bool raisedToTheEnd = false;
        bool ended = false;
        QString notice;
        QObject::connect(&w, &FrmSASel::DownloadFinished, [&](bool) {
            raisedToTheEnd = f.mixer.Raised();
            if (w.Notice() != nullptr) notice = w.Notice()->text();
            ended = true;
        });
        w.ImgDownload_Click();
        QTRY_VERIFY_WITH_TIMEOUT(ended, 15000);
        QVERIFY(!closedAtOnce);
        QVERIFY(raisedToTheEnd);
        const int blocks = static_cast<int>(w.CodeBufferBytes().size() / 64);
        QCOMPARE(f.out.streams.size(), std::size_t(1));
        QVERIFY(f.out.streams[0] ==
                audio::BuildDownloadSignal(0, w.CodeBufferBytes(), static_cast<std::int16_t>(blocks), "TV").pcm);
        QCOMPARE(notice, QString("Tolbe will close as soon as the download has finished."));
        QTRY_VERIFY(!w.isVisible());
        QVERIFY(f.mixer.AsTheUserLeftIt());
        QVERIFY(!std::filesystem::exists(f.LevelsFile()));
        QCOMPARE(w.Gate().Running(), std::optional<Job>(Job::Close));
        // The update check that fell due during the download does not start any more.
        QTest::qWait(200);
        QCOMPARE(f.UpdateRequests(), 0);
        f.window.reset();
        QVERIFY(usersGoneFirst);
    }

    // A levels file that was damaged: what can be read comes back, the file is kept aside and the
    // user is told, once.
    void aDamagedLevelsFileIsSetAsideAndReportedOnce() {
        Fixture f;
        const std::string damaged = "[WaveOut]\nMute=1\nLeft=12\nRight=\x01\x02\n[Speakers]\nLeft=5\nRight=6\n";
        std::filesystem::create_directories(f.LevelsFile().parent_path());
        test::WriteFile(f.LevelsFile(), damaged);
        f.mixer.lines.at(audio::MixerLine::Speakers) = {87, 87, 87, false}; // left raised by the dead run
        f.Start();
        const auto aside = f.LevelsFile().string() + ".unreadable";
        QCOMPARE(test::ReadFile(aside), damaged);
        QCOMPARE(f.Shown().size(), size_t(1));
        QCOMPARE(f.Shown()[0].text, "The saved sound levels could not be read, so not all of them were restored. "
                                    "Please check your volume settings. The file has been kept as:\n" +
                                        aside);
        QVERIFY(f.Shown()[0].icon == Prompt::Icon::Warning);
        // The readable speaker levels were put back before this run raised and saved them anew.
        f.window->close();
        const auto& speakers = f.mixer.lines.at(audio::MixerLine::Speakers);
        QCOMPARE(speakers.left, 5);
        QCOMPARE(speakers.right, 6);
        QVERIFY(!std::filesystem::exists(f.LevelsFile()));
        QVERIFY(f.mixer.lines.at(audio::MixerLine::WaveOut).muted);

        // The next start finds nothing to report; the kept file stays.
        f.window.reset();
        f.Start();
        QCOMPARE(f.Shown().size(), size_t(1));
        QCOMPARE(test::ReadFile(aside), damaged);
        QVERIFY(std::filesystem::exists(f.LevelsFile()));
        QCOMPARE(std::filesystem::status(f.LevelsFile().parent_path()).permissions() & std::filesystem::perms::all,
                 std::filesystem::perms::owner_all);
    }
};

QTEST_MAIN(OneJobAtATimeTest)
#include "test_one_job_at_a_time.moc"
