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
    : QMainWindow(parent), ActiveTexts(ctx.LangBase), m_ctx(ctx), ui(new Ui::FrmSASel) {
    // The platform's common controls need no initialisation here; the form is built at once.
    ui->setupUi(this);
    setMouseTracking(true);
    centralWidget()->setMouseTracking(true);

    m_grid = new CodeGrid(ui->IRDBGrid);
    m_access = new MainWindowAccess(*ui, m_ctx, SlotTable, *m_grid, LanguageItems(), this);
    m_runner = new DownloadRunner(m_ctx, m_gate, this);
    // Brand and model names come from the code database: never read as markup.
    for (QLabel* label : {ui->LabDev, ui->LabBrand, ui->LabModel})
        label->setTextFormat(Qt::PlainText);
    // A download from any window assigns the slot: the slot panel shows what went out.
    connect(m_runner, &DownloadRunner::Recorded, this, &FrmSASel::ShowWritten);
    m_labOnRemote = new QLabel(this);
    m_labOnRemote->setObjectName(QStringLiteral("LabOnRemote"));
    m_labOnRemote->setTextFormat(Qt::PlainText);
    m_labOnRemote->setWordWrap(true);
    m_labOnRemote->hide();
    ui->layRight->insertWidget(ui->layRight->indexOf(ui->LabModel) + 1, m_labOnRemote);
    connect(m_runner, &DownloadRunner::RecordChanged, this, &FrmSASel::ShowOnRemote);
    ui->IRDBGrid->installEventFilter(this);
    ui->ImgDownload->installEventFilter(this);
    ui->LabDownload->installEventFilter(this);
    for (QLabel* b : {ui->ImgSelDev0, ui->ImgSelDev1, ui->ImgSelDev2, ui->ImgSelDev3}) {
        b->installEventFilter(this);
        b->setCursor(Qt::PointingHandCursor);
    }

    m_selector = std::make_unique<DeviceSelector>(
        std::array<QLabel*, 4>{ui->ImgSelDev0, ui->ImgSelDev1, ui->ImgSelDev2, ui->ImgSelDev3}, ui->ImgPress,
        ui->Imgcha, ui->ImgLED, m_ctx.CurDevice,
        DeviceSelector::MakeSlotRelabeller(ui->LabDev, ui->LabBrand, ui->LabModel, m_ctx.LangBase, SlotTable));
    m_contact = new ContactLink(ui->LabEmail);
    m_contact->ResetOnHover(centralWidget());
    m_contact->ResetOnHover(ui->IRDBGrid->viewport());

    // The Download "picture": a rounded blue button face under the centred label.
    ui->ImgDownload->setStyleSheet(
        QStringLiteral("QLabel { border: 1px solid #1f4f8f; border-radius: 10px;"
                       " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #6fa8ea, stop:1 #2f6fc0); }"));
    ui->LabDownload->setStyleSheet(
        QStringLiteral("QLabel { color: white; font-weight: bold; background: transparent; }"));
    ui->LabDownload->raise();

    connect(ui->mnuFileExit, &QAction::triggered, this, &FrmSASel::mnuFileExit_Click);
    connect(ui->mnuHelpAbout, &QAction::triggered, this, &FrmSASel::mnuHelpAbout_Click);
    const auto languages = LanguageItems();
    for (int i = 0; i < 7; ++i)
        connect(languages[static_cast<std::size_t>(i)], &QAction::triggered, this,
                [this, i] { mnuLanguageIndex_Click(i); });
    ui->mnuDev->menuAction()->setVisible(false);

    // Added here rather than in the form; the numbers are relabelled with the rest of the menu.
    m_saveWav = new QAction(QString::number(kTextSaveWav), this);
    m_saveWav->setObjectName(QStringLiteral("mnuFileSaveWav"));
    m_output = new SoundOutput(m_ctx, ui->mnuFile, this);
    ui->mnuFile->insertAction(ui->mnuFileExit, m_saveWav);
    ui->mnuFile->insertMenu(ui->mnuFileExit, m_output->Menu());
    ui->mnuFile->insertSeparator(ui->mnuFileExit);
    connect(m_saveWav, &QAction::triggered, this, &FrmSASel::mnuFileSaveWav_Click);
    m_remote = new RemoteWindows(m_ctx, m_gate, *m_runner, menuBar(), ui->mnuLanguage->menuAction(), ui->mnuFile,
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

    connect(ui->TxtBrandKey, &QLineEdit::textChanged, this, &FrmSASel::SearchFromControls);
    connect(ui->TxtModelKey, &QLineEdit::textChanged, this, &FrmSASel::SearchFromControls);
    connect(ui->ImgCombDevSel, qOverload<int>(&QComboBox::activated), this, [this](int) { ImgCombDevSel_Click(); });

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
    return {ui->mnuLanguageIndex0, ui->mnuLanguageIndex1, ui->mnuLanguageIndex2, ui->mnuLanguageIndex3,
            ui->mnuLanguageIndex4, ui->mnuLanguageIndex5, ui->mnuLanguageIndex6};
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
    Step([&] { ShowAnimation(ui->Gif89a1, QString::fromStdString(m_ctx.paths.AnimatedPicture().string())); });
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
    Step([&] { ui->LabEmail->setText(QStringLiteral("Email:") + QString::fromUtf8(i18n::kSupportEmail)); });
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

    Step([&] { FillDeviceTypes(ui->ImgCombDevSel, m_ctx.database); });
    Step([&] {
        if (ui->ImgCombDevSel->currentIndex() < 0) return;
        SearchSetOfCodes(ui->ImgCombDevSel->currentText(), QString(), QString());
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
        ui->LabDev->setText(T(kTextDeviceLabel));
        ui->LabBrand->setText(T(kTextBrandLabel));
        ui->LabModel->setText(T(kTextModelLabel));
    });
    Step([&] {
        // Whole rows are selected, so the current code set stands out.
        ui->IRDBGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
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
        FillDeviceTypes(ui->ImgCombDevSel, m_ctx.database);
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
    const QRect pic = ui->ImgDownload->geometry();
    const QSize lab = ui->LabDownload->size();
    const double left = pic.width() / 2.0 + pic.left() - lab.width() / 2.0;
    const double top = pic.height() / 2.0 + pic.top() - lab.height() / 2.0;
    ui->LabDownload->move(static_cast<int>(std::lround(left)), static_cast<int>(std::lround(top)));
}

void FrmSASel::SearchSetOfCodes(const QString& device, const QString& brand, const QString& model) {
    if (!m_ctx.HasDatabase()) return;
    auto rs = std::make_shared<db::DbRecordset>(db::SearchSetOfCodes(m_ctx.database.DBConn(), Std(device), Std(brand),
                                                                     Std(model), Std(T(kTextDevice)),
                                                                     Std(T(kTextBrand)), Std(T(kTextModel))));
    m_grid->Show(std::move(rs));
    ui->FrameEmail->setVisible(m_grid->RowCount() == 0);
}

void FrmSASel::SearchFromControls() {
    // Without a chosen device type there is nothing to search for (as at start-up).
    if (ui->ImgCombDevSel->currentIndex() < 0 || !m_ctx.HasDatabase()) return;
    try {
        SearchSetOfCodes(ui->ImgCombDevSel->currentText(), ui->TxtBrandKey->text(), ui->TxtModelKey->text());
    } catch (const std::exception&) {
        // The database went bad under us: say so once per search, keep the last result.
        ShowDatabaseError(m_ctx.LangBase);
    }
}

void FrmSASel::ImgCombDevSel_Click() {
    // Emptying a box that holds text runs its own change handler, as typing would.
    ui->TxtBrandKey->setText(QString());
    ui->TxtModelKey->setText(QString());
    SearchFromControls();
}

void FrmSASel::AddInfo(std::int16_t slot) {
    codec::SlotInfo& info = SlotTable.at(static_cast<std::size_t>(slot));
    Step([&] { info.SourceID = m_grid->Current(CodeGrid::kSourceID).ToInt32(); });
    Step([&] { info.SetOfCodeID = m_grid->Current(CodeGrid::kSetOfCodeID).ToInt32(); });
    Step([&] {
        info.DeviceName = m_grid->Current(CodeGrid::kDevice).Text();
        ui->LabDev->setText(T(kTextDeviceLabel) + QString::fromStdString(info.DeviceName));
    });
    Step([&] {
        info.BrandName = m_grid->Current(CodeGrid::kBrand).Text();
        ui->LabBrand->setText(T(kTextBrandLabel) + QString::fromStdString(info.BrandName));
    });
    Step([&] {
        info.ModelName = m_grid->Current(CodeGrid::kModel).Text();
        ui->LabModel->setText(T(kTextModelLabel) + QString::fromStdString(info.ModelName));
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
    ui->LabDev->setText(T(kTextDeviceLabel) + QString::fromStdString(info.DeviceName));
    ui->LabBrand->setText(T(kTextBrandLabel) + QString::fromStdString(info.BrandName));
    ui->LabModel->setText(T(kTextModelLabel) + QString::fromStdString(info.ModelName));
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
        if (watched == ui->ImgDownload || watched == ui->LabDownload) {
            ImgDownload_Click();
            return true;
        }
        QLabel* buttons[] = {ui->ImgSelDev0, ui->ImgSelDev1, ui->ImgSelDev2, ui->ImgSelDev3};
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
        if (m_grid->RowCount() > 0 && ui->IRDBGrid->currentIndex().isValid()) AddInfo(m_ctx.CurDevice);
    };
    m_access->SetUpKeyboard(this, keys);
}

} // namespace tolbe::app
