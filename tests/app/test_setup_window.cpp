#include "app/AppContext.h"
#include "app/DownloadRunner.h"
#include "app/FrmFinish.h"
#include "app/FrmMyRemote.h"
#include "app/FrmSASel.h"
#include "app/FrmSetup.h"
#include "app/QtPrompt.h"
#include "app/RemoteWindows.h"
#include "core/RemoteRecord.h"
#include "i18n/StringTable.h"
#include "tests/app/AccessibleWalk.h"
#include "tests/app/RecordingOutput.h"
#include "tests/support/TestSupport.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace tolbe;
using namespace tolbe::app;

namespace {

// A program folder with the assistant's database; the main window started on it, as a restart would.
struct Fixture {
    test::TempDir dir;
    ProgramPaths paths{dir.Path()};
    test::MemorySettingsStore settings;
    test::ScriptedPrompt prompt;
    test::RecordingOutput output;
    std::unique_ptr<AppContext> ctx;
    std::unique_ptr<FrmSASel> window;

    explicit Fixture(const std::string& sql = test::AssistantDatabaseSql()) {
        std::filesystem::create_directories(paths.DatabaseFolder());
        test::MakeKeyedDatabase(paths.Database(), sql);
        Start(1000);
    }
    void Start(int langBase) {
        window.reset();
        settings.Set(settings_key::kLanguage, std::to_string(langBase));
        ctx = std::make_unique<AppContext>(settings, prompt, paths);
        output.Install(*ctx);
        window = std::make_unique<FrmSASel>(*ctx);
        window->show();
        window->Form_Load();
        // Start-up ends once the database has been checked on its own thread.
        if (!QTest::qWaitFor([&] { return window->StartupFinished(); }, 60000)) qFatal("start-up did not end");
        window->UpdateTimer().stop(); // no live update under the test
    }
    QString T(int k) const { return QString::fromStdString(i18n::LoadText(ctx->LangBase, k)); }
    FrmSetup* OpenSetup() {
        // A closed assistant goes a moment later; until then the menu would show it again.
        if (!QTest::qWaitFor([&] { return !window->Remote()->Setup() || window->Remote()->Setup()->isVisible(); }))
            qFatal("the closed assistant did not go");
        window->Remote()->SetupAction()->trigger();
        FrmSetup* setup = window->Remote()->Setup();
        if (setup) QApplication::setActiveWindow(setup);
        return setup;
    }
    // tolbe-cli on this program folder and database, as the user would run it beside the window.
    test::CommandOutcome Cli(std::vector<std::string> args) const {
        args.insert(args.begin(), {"--program-dir", dir.Path().string()});
        args.insert(args.end(), {"--db", paths.Database().string()});
        return test::RunProgram(TOLBE_CLI_PATH, args, dir.Path());
    }
    FrmSetup* FindSamsung(const QString& brand = QStringLiteral("Samsung")) {
        FrmSetup* setup = OpenSetup();
        setup->findChild<QComboBox*>("CmbBrand")->setEditText(brand);
        setup->CmdFind_Click();
        return setup;
    }
};

// A key as the user presses it; a button's letter clicks it a moment later, as Qt animates the click.
void Keys(QWidget* window, Qt::Key key, Qt::KeyboardModifiers mods = Qt::AltModifier) {
    QWidget* focus = QApplication::focusWidget();
    if (auto* box = qobject_cast<QComboBox*>(focus); box && box->lineEdit()) focus = box->lineEdit();
    QTest::keyClick(focus && focus->window() == window ? focus : window, key, mods);
}

// The download of the page shown plays and its finish picture goes (Esc, as the user may).
void Download(FrmSetup* setup, bool byKey = true, FrmSetup::Page then = FrmSetup::Page::Ask) {
    if (byKey)
        Keys(setup, Qt::Key_D);
    else
        setup->CmdDownload_Click();
    QTRY_VERIFY(setup->findChild<FrmFinish*>() != nullptr);
    QTest::keyClick(setup->findChild<FrmFinish*>(), Qt::Key_Escape, Qt::NoModifier);
    QTRY_COMPARE(setup->CurrentPage(), then);
    QApplication::setActiveWindow(setup); // the window manager's part when the picture goes
}

QString FocusName() {
    return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString("(none)");
}

// How often the focus moves while `change` runs.
int FocusMoves(const std::function<void()>& change) {
    int moves = 0;
    const auto c =
        QObject::connect(qApp, &QApplication::focusChanged, [&](QWidget*, QWidget* now) { moves += now != nullptr; });
    change();
    QObject::disconnect(c);
    return moves;
}

// True when every wrapped label shown in `window` is as tall as its lines need.
bool NoLabelSqueezed(QWidget* window) {
    for (QLabel* l : window->findChildren<QLabel*>())
        if (l->isVisibleTo(window) && l->wordWrap() && !l->text().isEmpty() &&
            l->height() < l->heightForWidth(l->width()))
            return false;
    return true;
}

void Shot(QWidget* w, const QString& name) {
    const QString dir = qEnvironmentVariable("TOLBE_SCREENSHOT_DIR");
    if (dir.isEmpty()) return;
    QDir().mkpath(dir);
    w->adjustSize();
    QVERIFY(w->grab().save(QDir(dir).filePath(name + ".png")));
}

} // namespace

class SetupWindowTest : public QObject {
    Q_OBJECT
private slots:
    void keysAloneFindTheWorkingCodeSetAndTheRecordKeepsItAcrossARestart() {
        Fixture f;
        FrmSetup* setup = f.OpenSetup();
        QVERIFY(setup);
        Shot(setup, "setup-choose-en");
        // A mistyped brand: the assistant asks whether the near one was meant, Space takes it.
        Keys(setup, Qt::Key_B);
        QTest::keyClicks(QApplication::focusWidget(), "samsnug");
        Keys(setup, Qt::Key_C);
        QTRY_COMPARE(setup->findChild<QLabel*>("LabHint")->text(), f.T(382).arg("Samsung"));
        Keys(setup, Qt::Key_Space, Qt::NoModifier);
        QCOMPARE(setup->CurrentPage(), FrmSetup::Page::Try);
        const core::CandidateList list = setup->Candidates();
        QCOMPARE(list.candidates.size(), std::size_t{3});
        QCOMPARE(setup->findChild<QLabel*>("LabTryHeading")->text(), f.T(389).arg(1).arg(3));
        Shot(setup, "setup-try-en");

        // Candidate 1: sent, then "No, try the next": ruled out, and the place moves on.
        Download(setup);
        QCOMPARE(f.output.streams.size(), std::size_t{1});
        // A TV's keys, Power last, and the hint to press each twice.
        QCOMPARE(setup->findChild<QLabel*>("LabKeys")->text(),
                 f.T(395).arg(QStringList{f.T(410), f.T(412), f.T(413), f.T(409)}.join(", ")) + "\n" + f.T(431));
        Shot(setup, "setup-ask-en");
        QVERIFY(!setup->findChild<QLabel*>("LabEffort")->isVisibleTo(setup));
        Keys(setup, Qt::Key_N);
        QTRY_COMPARE(setup->CandidateIndex(), 1);
        // The pace of one try, for the two left; a quick test makes it a minute or a few.
        const QString effort = setup->findChild<QLabel*>("LabEffort")->text();
        const QRegularExpression minutes(QRegularExpression::escape(f.T(449)).replace("%1", "[2-9]"));
        QVERIFY2(effort == f.T(450) || minutes.match(effort).hasMatch(), qPrintable(effort));
        // Stop keeps the place; opening the assistant again offers it.
        Keys(setup, Qt::Key_T);
        QTRY_VERIFY(f.window->Remote()->Setup() == nullptr);
        setup = f.OpenSetup();
        QVERIFY(setup->findChild<QLabel*>("LabResume")->isVisibleTo(setup));
        Keys(setup, Qt::Key_R);
        QTRY_COMPARE(setup->CandidateIndex(), 1);

        // Candidate 2: sent, and it works.
        Download(setup);
        Keys(setup, Qt::Key_Y);
        QTRY_COMPARE(setup->CurrentPage(), FrmSetup::Page::End);
        Shot(setup, "setup-end-en");
        const codec::SlotInfo works = list.candidates[1].first;

        // A restart reads what was written: My remote shows it with its verdict.
        f.Start(1000);
        f.window->Remote()->MyRemoteAction()->trigger();
        FrmMyRemote* mine = f.window->Remote()->MyRemote();
        QVERIFY(mine);
        QApplication::setActiveWindow(mine);
        QVERIFY(mine->findChild<QLabel*>("LabWhat0")->text().contains(QString::number(works.SetOfCodeID)));
        QCOMPARE(mine->findChild<QLabel*>("LabVerdict0")->text(), f.T(420));
        QCOMPARE(mine->findChild<QLabel*>("LabWhat1")->text(), f.T(417));
        Shot(mine, "myremote-en");
        core::RemoteRecord record(f.paths.RemoteRecordFile());
        QVERIFY(record.Load().setAside.empty());
        const core::SlotRecord& tv = record.Of(Slot::TV());
        QCOMPARE(tv.written.SetOfCodeID, works.SetOfCodeID);
        QCOMPARE(tv.verdict, core::Verdict::Works);
        QVERIFY(record.IsRuledOut(Slot::TV(), "TV", "Samsung", list.candidates[0].imageSha256));
        QVERIFY(!tv.resume.has_value());

        // Send again: one instruction step, then the same code set goes out once more.
        Keys(mine, Qt::Key_D); // "Send all (1)": one slot is recorded
        QTRY_COMPARE(mine->Waiting().size(), std::size_t{1});
        QCOMPARE(mine->findChild<QLabel*>("LabStep")->text(), f.T(427).arg("TV").arg(1).arg(1));
        mine->CmdSend_Click();
        QTRY_VERIFY(mine->findChild<FrmFinish*>() != nullptr);
        mine->findChild<FrmFinish*>()->close();
        QTRY_VERIFY(mine->Waiting().empty());
        QCOMPARE(f.output.streams.size(), std::size_t{3});

        // A damaged record is set aside and said once at start; the slots it still held stay.
        test::WriteFile(f.paths.RemoteRecordFile(), test::ReadFile(f.paths.RemoteRecordFile()) + "[AUX]\nSourceID=x\n");
        f.prompt.shown.clear();
        f.Start(1000);
        QCOMPARE(f.prompt.shown.size(), std::size_t{1});
        QVERIFY(f.prompt.shown[0].text.starts_with(i18n::LoadText(1000, 429)));
        QVERIFY(std::filesystem::exists(f.paths.RemoteRecordFile().string() + ".unreadable"));
        f.Start(1000);
        QCOMPARE(f.prompt.shown.size(), std::size_t{1});
    }

    void answersCanBeTakenBackAndASlotStartedOver() {
        Fixture f;
        FrmSetup* setup = f.FindSamsung();
        const auto record = [&] {
            core::RemoteRecord saved(f.paths.RemoteRecordFile());
            saved.Load();
            return saved.Of(Slot::TV());
        };
        const auto note = [&](const char* name) { return setup->findChild<QLabel*>(name)->text(); };

        // Some of them: the best so far, partly working, not ruled out; the search may go on.
        Download(setup);
        setup->findChildren<QCheckBox*>().front()->setChecked(true); // Volume up
        Keys(setup, Qt::Key_S);
        QTRY_VERIFY(note("LabEnd").endsWith(f.T(437)));
        QCOMPARE(record().verdict, core::Verdict::Partly);
        QVERIFY(record().ruledOut.empty());
        Keys(setup, Qt::Key_B); // Look for a better one
        QTRY_COMPARE(setup->CandidateIndex(), 1);
        // Back while it is still on the remote: its answer shows, ticked, and can be given again.
        Keys(setup, Qt::Key_B);
        QTRY_COMPARE(note("LabAskNote"), f.T(440).arg(f.T(410)));
        Keys(setup, Qt::Key_S);
        QTRY_COMPARE(setup->CurrentPage(), FrmSetup::Page::End);
        // Nothing better: the best one is sent again and kept as partly working.
        for (int i = 1; i < 3; ++i) {
            setup->CmdGoOn_Click();
            Download(setup);
            Keys(setup, Qt::Key_N);
            QTRY_VERIFY(setup->CurrentPage() != FrmSetup::Page::Ask);
        }
        const codec::SlotInfo best = setup->Candidates().candidates[0].first;
        QCOMPARE(note("LabEnd"),
                 f.T(442)
                     .arg(QString::fromStdString(best.BrandName), QString::fromStdString(best.ModelName))
                     .arg(best.SetOfCodeID)
                     .arg(f.T(410)));
        Keys(setup, Qt::Key_A);
        QTRY_COMPARE(setup->CurrentPage(), FrmSetup::Page::Try);
        Download(setup, true, FrmSetup::Page::End);
        QCOMPARE(record().written.SetOfCodeID, best.SetOfCodeID);
        QCOMPARE(record().workingKeys, std::vector<std::string>{"Volume +"});
        QCOMPARE(record().ruledOut.size(), std::size_t{2});

        // Start over clears what was ruled out and begins at candidate 1.
        setup->close();
        setup = f.OpenSetup();
        Keys(setup, Qt::Key_O);
        QTRY_COMPARE(setup->CurrentPage(), FrmSetup::Page::Try);
        QVERIFY(record().ruledOut.empty());
        // Stopped on a candidate gone back to after "no", the assistant resumes on that very one.
        Download(setup);
        Keys(setup, Qt::Key_N);
        QTRY_COMPARE(setup->CandidateIndex(), 1);
        Keys(setup, Qt::Key_B);
        QTRY_COMPARE(note("LabAskNote"), f.T(439));
        Keys(setup, Qt::Key_T);
        QTRY_VERIFY(f.window->Remote()->Setup() == nullptr);
        setup = f.OpenSetup();
        QCOMPARE(note("LabResume"), f.T(387).arg("TV").arg(1).arg("TV", "Samsung"));
        Keys(setup, Qt::Key_R);
        QTRY_COMPARE(setup->CandidateIndex(), 0);
        QVERIFY(note("LabTryNote").startsWith(f.T(439)));
    }

    void theSlotInViewFollowsEachDownloadAndVerdict() {
        Fixture f;
        core::RemoteRecord stopped(f.paths.RemoteRecordFile());
        stopped.SaveResume(Slot::SAT(), {"TV", "Samsung", "", 0, ""});
        QVERIFY(stopped.Save());
        f.Start(1000);
        f.window->Remote()->MyRemoteAction()->trigger();
        FrmMyRemote* mine = f.window->Remote()->MyRemote();
        FrmSetup* setup = f.OpenSetup();
        const auto text = [](QWidget* w, const char* name) { return w->findChild<QLabel*>(name)->text(); };
        // The main window's slot, with the other slot's stopped set-up only offered.
        QCOMPARE(text(setup, "LabSlot"), f.T(444).arg("TV"));
        QCOMPARE(text(setup, "LabResume"), f.T(387).arg("SAT").arg(1).arg("TV", "Samsung"));
        setup->findChild<QComboBox*>("CmbBrand")->setEditText("Samsung");
        setup->CmdFind_Click();
        Download(setup);
        const codec::SlotInfo sent = setup->Candidates().candidates[0].first;
        QCOMPARE(text(f.window.get(), "LabModel"), f.T(132) + QString::fromStdString(sent.ModelName));
        QCOMPARE(text(mine, "LabVerdict0"), f.T(423));
        QCOMPARE(mine->findChild<QPushButton*>("CmdSendAll")->text(), f.T(445).arg(1));
        setup->CmdYes_Click();
        QCOMPARE(text(mine, "LabVerdict0"), f.T(420));
        setup->close();
        setup = f.OpenSetup();
        Keys(setup, Qt::Key_R);
        QTRY_COMPARE(text(setup, "LabSlot"), f.T(444).arg("SAT"));
    }

    void aModelThatMatchesNothingIsAnsweredOnTheTryPage() {
        Fixture f;
        FrmSetup* setup = f.OpenSetup();
        setup->findChild<QComboBox*>("CmbBrand")->setEditText("Samsung");
        const auto find = [&](const char* typed) {
            setup->findChild<QLineEdit*>("TxtModel")->setText(typed);
            setup->CmdFind_Click();
            return setup->findChild<QLabel*>("LabModelHint")->text();
        };
        QCOMPARE(find("123456789"), f.T(448).arg("123456789") + "\n" + f.T(447).arg("123456789").arg(3));
        QCOMPARE(find("UE41"), f.T(447).arg("UE41").arg(3));
        QVERIFY(setup->findChild<QLabel*>("LabModelHint")->isVisibleTo(setup));
        auto* near = setup->findChild<QPushButton*>("CmdNearModel0");
        QCOMPARE(near->text(), f.T(446).arg("UE40"));
        near->click();
        QCOMPARE(setup->findChild<QLineEdit*>("TxtModel")->text(), QString("UE40"));
        QVERIFY(!setup->findChild<QLabel*>("LabModelHint")->isVisibleTo(setup));
        QCOMPARE(setup->Candidates().model.matching, 1);
    }

    void theMainWindowSaysWhatTheRemoteHoldsAndAsksBeforeReplacingIt() {
        Fixture f;
        FrmSetup* setup = f.FindSamsung();
        Download(setup);
        setup->CmdYes_Click();
        const codec::SlotInfo works = setup->Candidates().candidates[0].first;
        const QString brand = QString::fromStdString(works.BrandName), model = QString::fromStdString(works.ModelName);
        auto* line = f.window->findChild<QLabel*>("LabOnRemote");
        QCOMPARE(line->text(), f.T(451).arg(brand, model, f.T(452)));
        setup->close();
        // The grid's first row is another code set: asked first, and No sends nothing.
        f.prompt.answers = {Prompt::Answer::No};
        f.window->ImgDownload_Click();
        QCOMPARE(f.prompt.shown.back().text, f.T(456).arg("TV", brand, model).toStdString());
        QCOMPARE(f.output.streams.size(), std::size_t{1});
        QCOMPARE(f.window->findChild<QLabel*>("LabModel")->text(), f.T(132) + model);
        // A slot without a record downloads as before, without a question.
        f.window->ImgSelDev_Click(1);
        QVERIFY(!line->isVisibleTo(f.window.get()));
        const std::size_t asked = f.prompt.shown.size();
        f.window->ImgDownload_Click();
        QTRY_VERIFY(f.window->findChild<FrmFinish*>() != nullptr);
        QCOMPARE(f.output.streams.size(), std::size_t{2});
        QCOMPARE(f.prompt.shown.size(), asked);
    }

    // The window and tolbe-cli change the record at the same moment and lose nothing; an answer on
    // a slot tolbe-cli wrote meanwhile is not counted; a record tolbe-cli set aside is told at the
    // window's next look, once. The brand is markup (an image that never ends loading): every
    // window shows it as text, also read back from the record after a restart.
    void theWindowAndTolbeCliShareTheRecordAndShowItsNamesAsText() {
        const QString brand = QStringLiteral("<img src=\"/dev/zero\">Samsung");
        Fixture f(test::AssistantDatabaseSql() + "UPDATE M_SetOfCodes SET BrandName='" + brand.toStdString() +
                  "' WHERE BrandName='Samsung';\n");
        QProcess downloads;
        downloads.start("bash", {"-c", QString("for i in $(seq 15); do '%1' --program-dir '%2' download --slot SAT "
                                               "--source-id 203 --pcm-device null --db '%3' || exit 1; done")
                                           .arg(TOLBE_CLI_PATH, QString::fromStdString(f.dir.Path().string()),
                                                QString::fromStdString(f.paths.Database().string()))});
        QVERIFY(downloads.waitForStarted());
        DownloadRunner* runner = f.window->findChild<DownloadRunner*>();
        int answers = 0;
        for (; downloads.state() != QProcess::NotRunning || answers < 10; ++answers, QTest::qWait(5)) {
            const std::string image = QString("%1").arg(answers, 64, 16, QChar('0')).toStdString();
            runner->ChangeRecord([&](core::RemoteRecord& record) {
                record.RuleOut(Slot::TV(), "TV", "Samsung", image);
                record.SaveResume(Slot::TV(), {"TV", "Samsung", "", answers, image});
            });
        }
        QCOMPARE(downloads.exitCode(), 0);
        core::RemoteRecord shared(f.paths.RemoteRecordFile());
        shared.Load();
        QCOMPARE(shared.Of(Slot::TV()).ruledOut.size(), std::size_t(answers));
        QCOMPARE(shared.Of(Slot::TV()).resume->candidate, answers - 1);
        QCOMPARE(shared.Of(Slot::SAT()).written.SourceID, 203);

        runner->ChangeRecord([](core::RemoteRecord& record) { record.StartOver(Slot::TV()); });
        FrmSetup* setup = f.FindSamsung(brand);
        Download(setup);
        QCOMPARE(f.Cli({"download", "--slot", "TV", "--source-id", "203", "--pcm-device", "null"}).status, 0);
        setup->CmdYes_Click();
        QCOMPARE(setup->CurrentPage(), FrmSetup::Page::Try);
        QCOMPARE(setup->findChild<QLabel*>("LabTryNote")->text(), f.T(470).arg("TV"));
        shared.Load();
        QCOMPARE(shared.Of(Slot::TV()).verdict, core::Verdict::NotTried);
        QCOMPARE(shared.Of(Slot::TV()).resume->imageSha256, setup->Candidates().candidates[0].imageSha256);
        Download(setup);
        setup->CmdYes_Click();
        f.window->Remote()->MyRemoteAction()->trigger();
        // How many labels show the brand, all as text; -1 when one would read it as markup.
        const auto plain = [&](QWidget* window) {
            window->grab(); // painted, as the user would see it
            int found = 0;
            for (QLabel* label : window->findChildren<QLabel*>())
                if (label->text().contains(brand)) found = label->textFormat() != Qt::PlainText ? -1000 : found + 1;
            return found;
        };
        QVERIFY(plain(setup) > 0 && plain(f.window->Remote()->MyRemote()) > 0 && plain(f.window.get()) >= 2);
        setup->close();
        f.Start(1000);
        QVERIFY(plain(f.window.get()) >= 1);
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr && box->textFormat() == Qt::PlainText);
            box->grab();
            box->accept();
        });
        QtPrompt(1000).Show("Tolbe", f.T(456).arg("TV", brand, "UE55").toStdString(), Prompt::Buttons::Ok);

        test::WriteFile(f.paths.RemoteRecordFile(), "\x01\x02 not ours\n");
        QVERIFY(f.Cli({"remote", "show"}).err.find("was damaged") != std::string::npos);
        const std::size_t told = f.prompt.shown.size();
        for (int open = 0; open < 2; ++open) {
            f.window->Remote()->MyRemoteAction()->trigger();
            QCOMPARE(f.prompt.shown.size(), told + 1);
            f.window->Remote()->MyRemote()->close();
            QTRY_VERIFY(f.window->Remote()->MyRemote() == nullptr);
        }
        QVERIFY(f.prompt.shown[told].text.ends_with(f.paths.RemoteRecordFile().string() + ".unreadable"));
    }

    void everyLanguageNamesEachControlPlainlyAndSaysEachMessageWhereTheFocusIs() {
        for (int base = 0; base <= 6000; base += 1000) {
            Fixture f;
            // A brand with an ampersand written before, and another slot's stopped set-up.
            core::RemoteRecord before(f.paths.RemoteRecordFile());
            before.RecordDownload(Slot::SAT(), {1, 77, "TV", "Bang & Olufsen", "BeoVision"}, 1, {});
            before.SaveResume(Slot::DVD(), {"TV", "Samsung", "", 0, ""});
            QVERIFY(before.Save());
            f.Start(base);
            const QString where = QString::number(base);
            int named = 0;
            const auto plain = [&](QWidget* w) {
                const QString fault = test::AccessibleNameFault(QAccessible::queryAccessibleInterface(w), named);
                QVERIFY2(fault.isEmpty(), qPrintable(where + " " + fault));
            };
            const auto heard = [&](const QString& text) {
                QVERIFY2(test::HeardAtFocus(text), qPrintable(where + " not heard: " + text));
            };

            // Choose: the stopped set-up is offered, and the focus is on Resume, which says it.
            FrmSetup* setup = f.OpenSetup();
            plain(setup);
            QVERIFY(setup->windowTitle().contains(f.T(460)));
            QCOMPARE(FocusName(), QString("CmdResume"));
            heard(setup->findChild<QLabel*>("LabResume")->text());

            // Try: one focus move onto Download, which says what to do.
            int moves = FocusMoves([&] {
                setup->findChild<QComboBox*>("CmbBrand")->setEditText("Samsung");
                setup->CmdFind_Click();
            });
            QCOMPARE(setup->CurrentPage(), FrmSetup::Page::Try);
            QCOMPARE(moves, 1);
            plain(setup);
            heard(f.T(392));
            QVERIFY(NoLabelSqueezed(setup));

            // Ask: the boxes first, in a group that says to tick the keys that worked.
            Download(setup, false);
            plain(setup);
            QCOMPARE(FocusName(), QString("ChkKey0"));
            QCOMPARE(
                QAccessible::queryAccessibleInterface(setup->findChild<QWidget*>("GrpKeys"))->text(QAccessible::Name),
                f.T(457));
            QCOMPARE(QAccessible::queryAccessibleInterface(setup->findChild<QPushButton*>("CmdYes"))
                         ->text(QAccessible::Description),
                     f.T(396));
            if (base == 1000) {
                // Tab runs down the boxes, then the answers.
                QStringList order{FocusName()};
                for (int i = 0; i < 8; ++i) {
                    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                    order << FocusName();
                }
                const int boxes = static_cast<int>(setup->findChildren<QCheckBox*>().size());
                QStringList expected;
                for (int i = 0; i < boxes; ++i)
                    expected << QString("ChkKey%1").arg(i);
                expected << "CmdYes"
                         << "CmdSome"
                         << "CmdNo"
                         << "CmdAskStop"; // Back is off on the first
                QCOMPARE(order.mid(0, expected.size()), expected);
            }
            setup->CmdSome_Click(); // nothing ticked
            heard(f.T(402));
            moves = FocusMoves([&] { setup->CmdNo_Click(); });
            QCOMPARE(moves, 1);
            QCOMPARE(FocusName(), QString("CmdDownload"));

            // End: what the page says is heard on the button that has the focus.
            Download(setup, false);
            setup->CmdYes_Click();
            plain(setup);
            heard(setup->findChild<QLabel*>("LabEnd")->text());

            // My remote: what each slot holds is reached by Tab and said as written, "&" and all.
            f.window->Remote()->MyRemoteAction()->trigger();
            FrmMyRemote* mine = f.window->Remote()->MyRemote();
            QApplication::setActiveWindow(mine);
            plain(mine);
            auto* sat = mine->findChild<QLabel*>("LabWhat1");
            QVERIFY(sat->focusPolicy() & Qt::TabFocus);
            QVERIFY(QAccessible::queryAccessibleInterface(sat)->text(QAccessible::Name).contains("Bang & Olufsen"));
            QVERIFY(!mine->findChild<QLabel*>("LabVerdict3")->isVisibleTo(mine));
            moves = FocusMoves([&] { mine->SendAll(); });
            QCOMPARE(moves, 1);
            plain(mine);
            heard(mine->findChild<QLabel*>("LabStep")->text());
            QVERIFY(NoLabelSqueezed(mine));
            QVERIFY(!QKeySequence::mnemonic(mine->findChild<QPushButton*>("CmdCancel")->text()).isEmpty());
            QTest::keyClick(mine, Qt::Key_Escape);
            QVERIFY(mine->Waiting().empty());
            QVERIFY(mine->isVisible()); // Esc ended the step, not the window
        }
    }

    void pagesInGermanAndChinese() {
        if (qEnvironmentVariable("TOLBE_SCREENSHOT_DIR").isEmpty()) QSKIP("no screenshot folder");
        for (auto [base, tag] : {std::pair{4000, "de"}, std::pair{0, "zh"}}) {
            Fixture f;
            f.Start(base);
            FrmSetup* setup = f.OpenSetup();
            Shot(setup, QString("setup-choose-%1").arg(tag));
            setup->findChild<QComboBox*>("CmbBrand")->setEditText("Samsung");
            setup->CmdFind_Click();
            Shot(setup, QString("setup-try-%1").arg(tag));
            Download(setup, false);
            Shot(setup, QString("setup-ask-%1").arg(tag));
            setup->CmdYes_Click();
            Shot(setup, QString("setup-end-%1").arg(tag));
            f.window->Remote()->MyRemoteAction()->trigger();
            Shot(f.window->Remote()->MyRemote(), QString("myremote-%1").arg(tag));
        }
    }
};

QTEST_MAIN(SetupWindowTest)
#include "test_setup_window.moc"
