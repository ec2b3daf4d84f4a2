#include "app/FrmSASel.h"

#include "app/CodeGrid.h"
#include "app/ContactLink.h"
#include "app/DeviceSelector.h"
#include "app/DownloadRunner.h"
#include "app/FrmUpdate.h"
#include "app/KeyboardAccess.h"
#include "app/LocaliseForm.h"
#include "app/MainWindowAccess.h"
#include "app/RecordsetModel.h"
#include "app/RemoteWindows.h"
#include "app/SharedControls.h"
#include "app/ShowMessage.h"
#include "app/SoundOutput.h"
#include "app/WindowThread.h"
#include "app/frmAbout.h"
#include "audio/Modulator.h"
#include "db/CodeSearch.h"
#include "db/DatabaseFile.h"
#include "i18n/Language.h"
#include "i18n/StringTable.h"
#include "ui_FrmSASel.h"

#include <QCloseEvent>

#include <QFile>
#include <QMouseEvent>
#include <cstdio>

#include <cmath>
#include <exception>
#include <filesystem>
#include <functional>

namespace tolbe::app {
namespace {

// Runs one step of the window's start-up: the window opens whatever one step fails on (the start
// goes on past errors), and the failure goes to the error output rather than vanishing.
void Step(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: a start-up step failed: %s\n", kProductName, e.what());
    }
}

std::string Std(const QString& s) {
    return s.toStdString();
}

} // namespace

FrmSASel::FrmSASel(AppContext& ctx, QWidget* parent)
    : QMainWindow(parent), ActiveTexts(ctx.LangBase), m_ctx(ctx), m_ui(new Ui::FrmSASel) {
    // The platform's common controls need no initialisation here; the form is built at once.
    m_ui->setupUi(this);
    setMouseTracking(true);
    centralWidget()->setMouseTracking(true);

    m_grid = new CodeGrid(m_ui->IRDBGrid);
    m_access = new MainWindowAccess(*m_ui, m_ctx, SlotTable, *m_grid, LanguageItems(), this);
    m_runner = new DownloadRunner(m_ctx, m_gate, this);
    // Brand and model names come from the code database: never read as markup.
    for (QLabel* label : {m_ui->LabDev, m_ui->LabBrand, m_ui->LabModel})
        label->setTextFormat(Qt::PlainText);
    // A download from any window assigns the slot: the slot panel shows what went out.
    connect(m_runner, &DownloadRunner::Recorded, this, &FrmSASel::ShowWritten);
    m_labOnRemote = new QLabel(this);
    m_labOnRemote->setObjectName(QStringLiteral("LabOnRemote"));
    m_labOnRemote->setTextFormat(Qt::PlainText);
    m_labOnRemote->setWordWrap(true);
    m_labOnRemote->hide();
    m_ui->layRight->insertWidget(m_ui->layRight->indexOf(m_ui->LabModel) + 1, m_labOnRemote);
    connect(m_runner, &DownloadRunner::RecordChanged, this, &FrmSASel::ShowOnRemote);
    m_ui->IRDBGrid->installEventFilter(this);
    m_ui->ImgDownload->installEventFilter(this);
    m_ui->LabDownload->installEventFilter(this);
    for (QLabel* b : {m_ui->ImgSelDev0, m_ui->ImgSelDev1, m_ui->ImgSelDev2, m_ui->ImgSelDev3}) {
        b->installEventFilter(this);
        b->setCursor(Qt::PointingHandCursor);
    }

    m_selector = std::make_unique<DeviceSelector>(
        std::array<QLabel*, 4>{m_ui->ImgSelDev0, m_ui->ImgSelDev1, m_ui->ImgSelDev2, m_ui->ImgSelDev3}, m_ui->ImgPress,
        m_ui->Imgcha, m_ui->ImgLED, m_ctx.CurDevice,
        DeviceSelector::MakeSlotRelabeller(m_ui->LabDev, m_ui->LabBrand, m_ui->LabModel, m_ctx.LangBase, SlotTable));
    m_contact = new ContactLink(m_ui->LabEmail);
    m_contact->ResetOnHover(centralWidget());
    m_contact->ResetOnHover(m_ui->IRDBGrid->viewport());

    // The Download "picture": a rounded blue button face under the centred label.
    m_ui->ImgDownload->setStyleSheet(
        QStringLiteral("QLabel { border: 1px solid #1f4f8f; border-radius: 10px;"
                       " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #6fa8ea, stop:1 #2f6fc0); }"));
    m_ui->LabDownload->setStyleSheet(
        QStringLiteral("QLabel { color: white; font-weight: bold; background: transparent; }"));
    m_ui->LabDownload->raise();

    connect(m_ui->mnuFileExit, &QAction::triggered, this, &FrmSASel::mnuFileExit_Click);
    connect(m_ui->mnuHelpAbout, &QAction::triggered, this, &FrmSASel::mnuHelpAbout_Click);
    const auto languages = LanguageItems();
    for (int i = 0; i < 7; ++i)
        connect(languages[static_cast<std::size_t>(i)], &QAction::triggered, this,
                [this, i] { mnuLanguageIndex_Click(i); });
    m_ui->mnuDev->menuAction()->setVisible(false);

    // Added here rather than in the form; the numbers are relabelled with the rest of the menu.
    m_saveWav = new QAction(QString::number(kTextSaveWav), this);
    m_saveWav->setObjectName(QStringLiteral("mnuFileSaveWav"));
    m_output = new SoundOutput(m_ctx, m_ui->mnuFile, this);
    m_ui->mnuFile->insertAction(m_ui->mnuFileExit, m_saveWav);
    m_ui->mnuFile->insertMenu(m_ui->mnuFileExit, m_output->Menu());
    m_ui->mnuFile->insertSeparator(m_ui->mnuFileExit);
    connect(m_saveWav, &QAction::triggered, this, &FrmSASel::mnuFileSaveWav_Click);
    m_remote = new RemoteWindows(m_ctx, m_gate, *m_runner, menuBar(), m_ui->mnuLanguage->menuAction(), m_ui->mnuFile,
                                 m_saveWav, this);
    // The output may change between downloads, not under one.
    connect(m_runner, &DownloadRunner::Started, this, [this] {
        m_output->Menu()->setEnabled(false);
        emit DownloadStarted();
    });
    connect(m_runner, &DownloadRunner::Finished, this, [this](bool sent) {
        m_output->Menu()->setEnabled(true);
        emit DownloadFinished(sent);
    });

    connect(m_ui->TxtBrandKey, &QLineEdit::textChanged, this, &FrmSASel::SearchFromControls);
    connect(m_ui->TxtModelKey, &QLineEdit::textChanged, this, &FrmSASel::SearchFromControls);
    connect(m_ui->ImgCombDevSel, qOverload<int>(&QComboBox::activated), this, [this](int) { ImgCombDevSel_Click(); });

    Timer1.setInterval(700);
    connect(&Timer1, &QTimer::timeout, this, [this] { m_selector->Timer1_Timer(); });
    Timer3.setInterval(1000);
    Timer3.setSingleShot(true);
    connect(&Timer3, &QTimer::timeout, this, &FrmSASel::Timer3_Timer);
    connect(&m_gate, &JobGate::CloseNow, this, &QWidget::close, Qt::QueuedConnection);
    SetUpKeyboard();
}

FrmSASel::~FrmSASel() {
    // The start-up's check of the database ends early for this flag.
    m_gone = true;
    if (m_opening.joinable()) m_opening.join();
    // The update's running task is stopped by its window, which joins it.
    delete m_update;
    // The assistant and My remote hold the runner and the gate: they go first, before the
    // runner and before the gate (a member, destroyed after this body; Qt would delete these
    // child windows only after that).
    delete m_remote;
    m_remote = nullptr;
    // A stream still playing is stopped before anything it reports to is gone.
    m_runner->disconnect(this);
    delete m_runner;
    Form_Unload();
}

std::array<QAction*, 7> FrmSASel::LanguageItems() const {
    return {m_ui->mnuLanguageIndex0, m_ui->mnuLanguageIndex1, m_ui->mnuLanguageIndex2, m_ui->mnuLanguageIndex3,
            m_ui->mnuLanguageIndex4, m_ui->mnuLanguageIndex5, m_ui->mnuLanguageIndex6};
}

const db::DbRecordset* FrmSASel::CodeRecordset() const {
    return m_grid->Recordset();
}

void FrmSASel::mnuFileOutput_Click(const std::string& device) {
    if (!Busy()) m_output->Choose(device);
}

void FrmSASel::Form_Load() {
    // The animation runs from load on, whatever start-up manages to do; the update check starts
    // only when start-up has ended (StartupEnded).
    Timer1.start();

    // Levels a killed run left raised come back before anything else happens.
    Step([&] { m_output->RestorePending(); });
    Step([&] { m_runner->LoadRecord(); });
    Step([&] { ShowOnRemote(); });
    m_ctx.database.Close();
    Step([&] {
        QFile qss(QString::fromStdString(m_ctx.paths.StyleSheet().string()));
        if (qss.open(QIODevice::ReadOnly)) setStyleSheet(QString::fromUtf8(qss.readAll()));
    });
    Step([&] { ShowAnimation(m_ui->Gif89a1, QString::fromStdString(m_ctx.paths.AnimatedPicture().string())); });
    Step([&] {
        CheckLanguage(LanguageItems(), i18n::GetLanguage(m_ctx.settings, m_ctx.systemLanguageId, m_ctx.LangBase));
    });
    Step([&] { setWindowTitle(QString::fromLatin1(kProductName)); });
    Step([&] { LocaliseForm(this, m_ctx.LangBase); });
    Step([&] { m_access->Relabel(); });
    Step([&] { CentreDownloadLabel(); });
    Step([&] { m_output->FillMenu(); });
    Step([&] {
        for (const Slot slot : Slot::All())
            m_ctx.DeviceNames[static_cast<std::size_t>(slot.Index())] = slot.Name();
    });
    Step([&] {
        m_ctx.CurDevice = 0;
        ImageSelDev(0);
    });
    Step([&] { m_selector->ResetAnimation(); });
    Step([&] { m_selector->ShowFirstFrames(); });
    Step([&] { m_ui->LabEmail->setText(QStringLiteral("Email:") + QString::fromUtf8(i18n::kSupportEmail)); });
    m_ctx.RcuModel = codec::kSupportedRcuModel;
    Step([&] { audio::InitWaveTable(); });

    // The file is found here, then opened and checked on a thread of its own: the first check of a
    // large database reads all of it, and the window is up and answering meanwhile.
    const db::DatabaseLocation where = db::CheckDatabase(m_ctx.settings, m_ctx.paths);
    m_opening = std::thread([this, where] {
        auto opened = std::make_shared<db::CodeDatabase>();
        opened->Open(where, &m_gone);
        PostToThreadOf(this, [this, opened] { DatabaseOpened(std::move(*opened)); });
    });
}

void FrmSASel::DatabaseOpened(db::CodeDatabase&& opened) {
    m_opening.join(); // it has posted its last word
    m_ctx.database = std::move(opened);
    // Closed while the file was checked: nothing is left to start.
    if (m_gate.Running() == Job::Close) return;
    const db::CodeDatabase::State state = m_ctx.database.Status();
    if (state == db::CodeDatabase::State::Missing) {
        m_ctx.prompt.Show(kProductName, Std(T(kTextDatabaseMissing)), Prompt::Buttons::Ok, Prompt::Icon::Question);
        StartupEnded();
        return;
    }
    if (state != db::CodeDatabase::State::Open) {
        if (!m_ctx.database.Problem().empty())
            std::fprintf(stderr, "tolbe: %s: %s\n", m_ctx.database.DBPath().c_str(), m_ctx.database.Problem().c_str());
        ShowDatabaseError(m_ctx.LangBase, this);
        StartupEnded();
        return;
    }

    Step([&] { FillDeviceTypes(m_ui->ImgCombDevSel, m_ctx.database); });
    Step([&] {
        if (m_ui->ImgCombDevSel->currentIndex() < 0) return;
        SearchSetOfCodes(m_ui->ImgCombDevSel->currentText(), QString(), QString());
    });
    StartWithDatabase();
    StartupEnded();
}

// The start-up steps that need the database and do not depend on how it was found: at load, or
// when a live update delivers the first usable one.
void FrmSASel::StartWithDatabase() {
    m_startedWithDatabase = true;
    for (auto& slot : SlotTable) {
        slot.DeviceName.clear();
        slot.BrandName.clear();
        slot.ModelName.clear();
    }
    Step([&] {
        m_ui->LabDev->setText(T(kTextDeviceLabel));
        m_ui->LabBrand->setText(T(kTextBrandLabel));
        m_ui->LabModel->setText(T(kTextModelLabel));
    });
    Step([&] {
        // Whole rows are selected, so the current code set stands out.
        m_ui->IRDBGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    });
    Step([&] { m_output->Raise(); });
}

void FrmSASel::StartupEnded() {
    m_startupEnded = true;
    if (const std::filesystem::path where = m_output->TakeSetAsideFile(); !where.empty()) {
        // Said once: the damaged file has been moved aside, so no later start finds it again.
        m_ctx.prompt.Show(kProductName, Std(T(kTextLevelsUnread)) + "\n" + where.string(), Prompt::Buttons::Ok,
                          Prompt::Icon::Warning);
    }
    m_remote->ReportSetAside();
    // Only now, with start-up and its messages over, may the update check come; a database it
    // delivers is then kept. A window closed meanwhile starts nothing.
    if (m_gate.Running() != Job::Close) Timer3.start();
}

bool FrmSASel::Reconnect_Database(std::int16_t /*offered_version*/) {
    // On the window's thread, between the update's tasks: the update has swapped the delivered
    // file in and remembered it as checked, so this open does not read it through again.
    db::CodeDatabase opened;
    opened.Open(db::CheckDatabase(m_ctx.settings, m_ctx.paths), &m_gone);
    return ReopenDatabase(std::move(opened));
}

bool FrmSASel::ReopenDatabase(db::CodeDatabase&& opened) {
    m_grid->Show(nullptr);
    m_ctx.database = std::move(opened);
    if (!m_ctx.database.IsOpen()) return false;
    try {
        FillDeviceTypes(m_ui->ImgCombDevSel, m_ctx.database);
    } catch (const std::exception&) {
        return false;
    }
    SearchFromControls();
    // Start-up found no usable database: this one completes it, so the program is ready at once.
    if (!m_startedWithDatabase) StartWithDatabase();
    return true;
}

std::int16_t FrmSASel::Get_Database_Ver() {
    return m_ctx.database.Version();
}

void FrmSASel::RequestQuit() {
    PostToThreadOf(this, [this] { close(); });
}

core::DownloadRequest FrmSASel::CurrentSlotRequest() {
    AddInfo(m_ctx.CurDevice);
    const Slot slot = Slot::FromNumber(m_ctx.CurDevice);
    core::DownloadRequest request;
    request.RCUModel = m_ctx.RcuModel;
    request.slot = slot;
    request.SourceID = SlotTable.at(static_cast<std::size_t>(slot.Index())).SourceID;
    return request;
}

void FrmSASel::ImgDownload_Click() {
    // A click while a download plays is ignored, as is one after the window was asked to close;
    // during an update the user is told why nothing happens.
    if (m_gate.Closing()) return;
    if (!m_gate.TryStart(Job::Download)) {
        if (m_gate.Running() == Job::UpdateCheck) ShowNotice(kTextUpdateRunning);
        return;
    }
    m_runner->Run([this]() -> std::optional<core::PreparedDownload> {
        const codec::SlotInfo before =
            SlotTable.at(static_cast<std::size_t>(Slot::FromNumber(m_ctx.CurDevice).Index()));
        const core::DownloadRequest request = CurrentSlotRequest();
        codec::SlotInfo& info = SlotTable.at(static_cast<std::size_t>(request.slot.Index()));
        if (!MayReplace(request.slot, info)) {
            info = before;
            RelabelSlot(request.slot); // the slot labels as they were
            return std::nullopt;
        }
        return m_runner->PrepareSend(request, info);
    });
}

void FrmSASel::CmdDownCodeAPI(core::PreparedDownload download) {
    m_runner->Play(std::move(download));
}

void FrmSASel::mnuFileSaveWav_Click() {
    const QString file = m_runner->AskWavFile(Slot::FromNumber(m_ctx.CurDevice));
    if (!file.isEmpty()) SaveDownloadAsWav(file);
}

bool FrmSASel::SaveDownloadAsWav(const QString& file) {
    return m_runner->SaveAsWav(CurrentSlotRequest(), file);
}

void FrmSASel::CentreDownloadLabel() {
    const QRect pic = m_ui->ImgDownload->geometry();
    const QSize lab = m_ui->LabDownload->size();
    const double left = pic.width() / 2.0 + pic.left() - lab.width() / 2.0;
    const double top = pic.height() / 2.0 + pic.top() - lab.height() / 2.0;
    m_ui->LabDownload->move(static_cast<int>(std::lround(left)), static_cast<int>(std::lround(top)));
}

void FrmSASel::SearchSetOfCodes(const QString& device, const QString& brand, const QString& model) {
    if (!m_ctx.HasDatabase()) return;
    auto rs = std::make_shared<db::DbRecordset>(db::SearchSetOfCodes(m_ctx.database.DBConn(), Std(device), Std(brand),
                                                                     Std(model), Std(T(kTextDevice)),
                                                                     Std(T(kTextBrand)), Std(T(kTextModel))));
    m_grid->Show(std::move(rs));
    m_ui->FrameEmail->setVisible(m_grid->RowCount() == 0);
}

void FrmSASel::SearchFromControls() {
    // Without a chosen device type there is nothing to search for (as at start-up).
    if (m_ui->ImgCombDevSel->currentIndex() < 0 || !m_ctx.HasDatabase()) return;
    try {
        SearchSetOfCodes(m_ui->ImgCombDevSel->currentText(), m_ui->TxtBrandKey->text(), m_ui->TxtModelKey->text());
    } catch (const std::exception&) {
        // The database went bad under us: say so once per search, keep the last result.
        ShowDatabaseError(m_ctx.LangBase);
    }
}

void FrmSASel::ImgCombDevSel_Click() {
    // Emptying a box that holds text runs its own change handler, as typing would.
    m_ui->TxtBrandKey->setText(QString());
    m_ui->TxtModelKey->setText(QString());
    SearchFromControls();
}

void FrmSASel::AddInfo(std::int16_t slot) {
    codec::SlotInfo& info = SlotTable.at(static_cast<std::size_t>(slot));
    Step([&] { info.SourceID = m_grid->Current(CodeGrid::kSourceID).ToInt32(); });
    Step([&] { info.SetOfCodeID = m_grid->Current(CodeGrid::kSetOfCodeID).ToInt32(); });
    Step([&] {
        info.DeviceName = m_grid->Current(CodeGrid::kDevice).Text();
        m_ui->LabDev->setText(T(kTextDeviceLabel) + QString::fromStdString(info.DeviceName));
    });
    Step([&] {
        info.BrandName = m_grid->Current(CodeGrid::kBrand).Text();
        m_ui->LabBrand->setText(T(kTextBrandLabel) + QString::fromStdString(info.BrandName));
    });
    Step([&] {
        info.ModelName = m_grid->Current(CodeGrid::kModel).Text();
        m_ui->LabModel->setText(T(kTextModelLabel) + QString::fromStdString(info.ModelName));
    });
    m_access->UpdateState();
}

void FrmSASel::ShowWritten(Slot slot) {
    codec::SlotInfo& info = SlotTable.at(static_cast<std::size_t>(slot.Index()));
    info = m_runner->Record().Of(slot).written;
    RelabelSlot(slot);
}

void FrmSASel::RelabelSlot(Slot slot) {
    const codec::SlotInfo& info = SlotTable.at(static_cast<std::size_t>(slot.Index()));
    if (slot.Index() != Slot::FromNumber(m_ctx.CurDevice).Index()) return;
    m_ui->LabDev->setText(T(kTextDeviceLabel) + QString::fromStdString(info.DeviceName));
    m_ui->LabBrand->setText(T(kTextBrandLabel) + QString::fromStdString(info.BrandName));
    m_ui->LabModel->setText(T(kTextModelLabel) + QString::fromStdString(info.ModelName));
    m_access->UpdateState();
}

void FrmSASel::ShowOnRemote() {
    const core::SlotRecord& r = m_runner->Record().Of(Slot::FromNumber(m_ctx.CurDevice));
    m_labOnRemote->setVisible(r.HasWritten());
    if (!r.HasWritten()) return;
    const int verdict = r.verdict == core::Verdict::Works    ? 452
                        : r.verdict == core::Verdict::Partly ? 453
                        : r.verdict == core::Verdict::Failed ? 454
                                                             : 455;
    m_labOnRemote->setText(
        T(kTextOnRemote)
            .arg(QString::fromStdString(r.written.BrandName), QString::fromStdString(r.written.ModelName), T(verdict)));
}

bool FrmSASel::MayReplace(Slot slot, const codec::SlotInfo& replacement) {
    const core::SlotRecord& r = m_runner->Record().Of(slot);
    if (!r.HasWritten() || r.verdict != core::Verdict::Works || r.written.SetOfCodeID == replacement.SetOfCodeID)
        return true;
    const QString text = T(kTextReplaceWorking)
                             .arg(QString::fromStdString(slot.Name()), QString::fromStdString(r.written.BrandName),
                                  QString::fromStdString(r.written.ModelName));
    return m_ctx.prompt.Show(kProductName, text.toStdString(), Prompt::Buttons::YesNo, Prompt::Icon::Question) ==
           Prompt::Answer::Yes;
}

void FrmSASel::ImageSelDev(std::int16_t slot) {
    m_selector->ImageSelDev(slot);
    ShowOnRemote();
    m_access->UpdateState();
}

void FrmSASel::ImgSelDev_Click(int index) {
    m_selector->ImgSelDev_Click(index);
    ShowOnRemote();
    m_access->UpdateState();
}

void FrmSASel::Timer3_Timer() {
    // Once per start: the timer stops itself before the check, which may take a while.
    Timer3.stop();
    if (!m_gate.TryStart(Job::UpdateCheck)) {
        // A download runs: the check simply comes after it. A closing window starts no check.
        if (m_gate.Running() != Job::Close)
            connect(&m_gate, &JobGate::Idle, this, &FrmSASel::Timer3_Timer,
                    Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
        return;
    }
    if (m_update == nullptr) {
        m_update = new FrmUpdate(m_ctx, *this, this);
        connect(m_update, &FrmUpdate::StartupCheckEnded, this, [this] { m_gate.Finish(Job::UpdateCheck); });
    }
    m_update->RunStartupCheck();
}

void FrmSASel::mnuLanguageIndex_Click(int index) {
    ChooseLanguage(m_ctx, LanguageItems(), index);
}

void FrmSASel::mnuHelpAbout_Click() {
    ShowAboutWindow(this, m_ctx.LangBase);
}

bool FrmSASel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == m_ui->ImgDownload || watched == m_ui->LabDownload) {
            ImgDownload_Click();
            return true;
        }
        QLabel* buttons[] = {m_ui->ImgSelDev0, m_ui->ImgSelDev1, m_ui->ImgSelDev2, m_ui->ImgSelDev3};
        for (int i = 0; i < 4; ++i) {
            if (watched == buttons[i]) {
                ImgSelDev_Click(i);
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void FrmSASel::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    m_grid->SetColumnWidths();
}

void FrmSASel::closeEvent(QCloseEvent* event) {
    if (m_gate.Running() != Job::Close && !m_gate.TryStart(Job::Close)) {
        // Closing never cuts a download short: it plays to its end packet. An update check is
        // stopped (a transfer may trickle for hours) and ends without questions. Then the window
        // closes by itself and puts the mixer back.
        if (m_gate.Running() == Job::UpdateCheck && m_update != nullptr) m_update->Abandon();
        event->ignore();
        ShowNotice(m_gate.Running() == Job::Download ? kTextCloseAfterDownload : kTextCloseAfterUpdate);
        m_gate.CloseWhenIdle();
        return;
    }
    Form_Unload();
    event->accept();
}

void FrmSASel::EndOnSignal() {
    if (m_update != nullptr) m_update->Abandon();
    close();
}

void FrmSASel::ShowNotice(int k) {
    if (m_gate.Running() != Job::Close) ShowNoticeBox(m_notice, this, T(k), T(kTextOk));
}

void FrmSASel::Form_Unload() {
    Timer1.stop();
    Timer3.stop();
    if (m_notice != nullptr) m_notice->close();
    m_output->Restore();
}

void FrmSASel::SetUpKeyboard() {
    MainWindowAccess::KeyActions keys;
    keys.selectSlot = [this](int i) { ImgSelDev_Click(i); };
    keys.download = [this] { ImgDownload_Click(); };
    keys.contact = [this] { m_contact->LabEmail_Click(); };
    // The row the user moved to becomes the current slot's code set, as Download would take it.
    keys.takeRow = [this] {
        if (m_grid->RowCount() > 0 && m_ui->IRDBGrid->currentIndex().isValid()) AddInfo(m_ctx.CurDevice);
    };
    m_access->SetUpKeyboard(this, keys);
}

} // namespace tolbe::app
