#include "app/FrmSASel.h"

#include "app/AccessibleWidgets.h"
#include "app/ContactLink.h"
#include "app/DeviceSelector.h"
#include "app/DownloadJob.h"
#include "app/FrmFinish.h"
#include "app/FrmProgressBar.h"
#include "app/FrmUpdate.h"
#include "app/KeyboardAccess.h"
#include "app/LocaliseForm.h"
#include "app/MainWindowAccess.h"
#include "app/RecordsetModel.h"
#include "app/ShowMessage.h"
#include "app/Twips.h"
#include "app/frmAbout.h"
#include "audio/AlsaMixer.h"
#include "audio/AlsaWaveOut.h"
#include "audio/DownloadSequence.h"
#include "audio/Mixer.h"
#include "audio/Modulator.h"
#include "audio/WavFile.h"
#include "codec/CodeRecord.h"
#include "codec/DownOrder.h"
#include "db/CodeSearch.h"
#include "db/DatabaseFile.h"
#include "db/VersionRecord.h"
#include "i18n/Language.h"
#include "i18n/StringTable.h"
#include "ui_FrmSASel.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QMouseEvent>
#include <QMovie>
#include <QPushButton>
#include <QWheelEvent>

#include <chrono>
#include <cmath>
#include <exception>
#include <filesystem>
#include <functional>
#include <future>

namespace tolbe::app {
namespace {

// Runs one step of a continue-on-error procedure: a failing step is skipped silently.
void Step(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const std::exception&) {
    }
}

std::string Std(const QString& s) {
    return s.toStdString();
}

// Texts of the output menu, the WAV file and a download the device could not play.
constexpr int kTextOutputMenu = 310;
constexpr int kTextSaveWav = 311;
constexpr int kTextPlaybackFailed = 312;
constexpr int kTextWavFailed = 313;
constexpr int kTextWavDialog = 314;
constexpr int kTextWavFiles = 315;

// Position (from 0) of the device type selected after every fill: the eighth item.
constexpr int kSelectedDeviceTypeIndex = 7;

} // namespace

FrmSASel::FrmSASel(AppContext& ctx, QWidget* parent) : QMainWindow(parent), m_ctx(ctx), ui(new Ui::FrmSASel) {
    // The platform's common controls need no initialisation here; the form is built at once.
    ui->setupUi(this);
    setMouseTracking(true);
    centralWidget()->setMouseTracking(true);

    m_model = new RecordsetModel(this);
    ui->IRDBGrid->setModel(m_model);
    ui->IRDBGrid->verticalHeader()->hide();
    ui->IRDBGrid->setMouseTracking(true);
    ui->IRDBGrid->viewport()->installEventFilter(this);
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
    QAction* languages[] = {ui->mnuLanguageIndex0, ui->mnuLanguageIndex1, ui->mnuLanguageIndex2, ui->mnuLanguageIndex3,
                            ui->mnuLanguageIndex4, ui->mnuLanguageIndex5, ui->mnuLanguageIndex6};
    for (int i = 0; i < 7; ++i)
        connect(languages[i], &QAction::triggered, this, [this, i] { mnuLanguageIndex_Click(i); });
    ui->mnuDev->menuAction()->setVisible(false);

    // Added here rather than in the form: the output list is the system's and changes at run time.
    // The numbers are relabelled with the rest of the menu.
    m_saveWav = new QAction(QString::number(kTextSaveWav), this);
    m_saveWav->setObjectName(QStringLiteral("mnuFileSaveWav"));
    m_outputMenu = new QMenu(QString::number(kTextOutputMenu), ui->mnuFile);
    m_outputMenu->setObjectName(QStringLiteral("mnuFileOutput"));
    ui->mnuFile->insertAction(ui->mnuFileExit, m_saveWav);
    ui->mnuFile->insertMenu(ui->mnuFileExit, m_outputMenu);
    ui->mnuFile->insertSeparator(ui->mnuFileExit);
    connect(m_saveWav, &QAction::triggered, this, &FrmSASel::mnuFileSaveWav_Click);
    connect(m_outputMenu, &QMenu::aboutToShow, this, &FrmSASel::FillOutputMenu);
    m_finishTimer.setSingleShot(true);
    connect(&m_finishTimer, &QTimer::timeout, this, [this] {
        if (m_finish) m_finish->close();
    });

    connect(ui->TxtBrandKey, &QLineEdit::textChanged, this, &FrmSASel::TxtBrandKey_Change);
    connect(ui->TxtModelKey, &QLineEdit::textChanged, this, &FrmSASel::TxtModelKey_Change);
    connect(ui->ImgCombDevSel, qOverload<int>(&QComboBox::activated), this, [this](int) { ImgCombDevSel_Click(); });

    Timer1.setInterval(700);
    connect(&Timer1, &QTimer::timeout, this, &FrmSASel::Timer1_Timer);
    Timer3.setInterval(1000);
    Timer3.setSingleShot(true);
    connect(&Timer3, &QTimer::timeout, this, &FrmSASel::Timer3_Timer);
    SetUpKeyboard();
}

FrmSASel::~FrmSASel() {
    // A stream still playing is stopped before anything it reports to is gone.
    if (m_job != nullptr) {
        m_job->disconnect(this);
        delete m_job;
        m_job = nullptr;
    }
    if (m_finish) {
        m_finish->disconnect(this);
        delete m_finish;
    }
    Form_Unload();
}

QString FrmSASel::T(int k) const {
    const auto text = i18n::TryLoadText(m_ctx.LangBase, k);
    return text ? QString::fromStdString(*text) : QString();
}

const db::DbRecordset* FrmSASel::CodeRecordset() const {
    return m_codeRecordset.get();
}

void FrmSASel::Form_Load() {
    // The animation runs from load on, whatever start-up manages to do; the update check starts
    // only when start-up has ended (StartupEnded).
    Timer1.start();

    // Levels a killed run left raised come back before anything else happens.
    Step([&] {
        if (m_ctx.mixer != nullptr) audio::RestorePendingVolume(*m_ctx.mixer, m_ctx.mixerStateFile, &m_levelsSetAside);
    });
    m_ctx.database.Close();
    Step([&] {
        QFile qss(QString::fromStdString(m_ctx.paths.StyleSheet().string()));
        if (qss.open(QIODevice::ReadOnly)) setStyleSheet(QString::fromUtf8(qss.readAll()));
    });
    Step([&] {
        const QString gif = QString::fromStdString(m_ctx.paths.AnimatedPicture().string());
        if (!QFile::exists(gif)) return;
        if (ShowDrawnAnimation(ui->Gif89a1)) return; // a scaled screen: no blown-up blur
        auto* movie = new QMovie(gif, {}, ui->Gif89a1);
        if (!movie->isValid()) return;
        ui->Gif89a1->setMovie(movie);
        movie->start();
    });
    Step([&] {
        QAction* items[] = {ui->mnuLanguageIndex0, ui->mnuLanguageIndex1, ui->mnuLanguageIndex2, ui->mnuLanguageIndex3,
                            ui->mnuLanguageIndex4, ui->mnuLanguageIndex5, ui->mnuLanguageIndex6};
        for (QAction* a : items)
            a->setChecked(false);
        const int index = i18n::GetLanguage(m_ctx.settings, m_ctx.systemLanguageId, m_ctx.LangBase);
        items[index]->setChecked(true);
    });
    Step([&] { setWindowTitle(QStringLiteral("Tolbe")); });
    Step([&] { LocaliseForm(this, m_ctx.LangBase); });
    Step([&] { SetFieldMnemonics(); });
    Step([&] { SetAccessibleTexts(); });
    Step([&] { ShowLanguageOwnNames(); });
    Step([&] { CentreDownloadLabel(); });
    Step([&] { FillOutputMenu(); });
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
    m_busy = false;
    Step([&] { ui->LabEmail->setText(QStringLiteral("Email:") + QString::fromUtf8(i18n::kSupportEmail)); });
    m_ctx.RcuModel = 1;
    Step([&] { audio::InitWaveTable(); });

    const db::CodeDatabase::State state = m_ctx.database.Open(m_ctx.settings, m_ctx.paths);
    if (state == db::CodeDatabase::State::Missing) {
        m_ctx.prompt.Show("Tolbe", Std(T(136)), Prompt::Buttons::Ok, Prompt::Icon::Question);
        StartupEnded();
        return;
    }
    if (state != db::CodeDatabase::State::Open) {
        ShowMessage(T(141), T(137));
        StartupEnded();
        return;
    }

    Step([&] { FillDeviceTypes(); });
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
        ui->LabDev->setText(T(130));
        ui->LabBrand->setText(T(131));
        ui->LabModel->setText(T(132));
    });
    Step([&] {
        // Whole rows are selected, so the current code set stands out.
        ui->IRDBGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    });
    Step([&] {
        if (m_ctx.mixer == nullptr) return;
        m_volumeRaised = true;
        audio::RaiseVolume(*m_ctx.mixer, m_ctx.mixerStateFile);
    });
}

void FrmSASel::StartupEnded() {
    if (!m_levelsSetAside.empty()) {
        // Said once: the damaged file has been moved aside, so no later start finds it again.
        const std::string where = m_levelsSetAside.string();
        m_levelsSetAside.clear();
        m_ctx.prompt.Show("Tolbe", Std(T(333)) + "\n" + where, Prompt::Buttons::Ok, Prompt::Icon::Warning);
    }
    // Only now, with start-up and its messages over, may the update check come; a database it
    // delivers is then kept.
    if (!m_unloaded) Timer3.start();
}

bool FrmSASel::Reconnect_Database(std::int16_t /*offered_version*/) {
    // Without a delivered file nothing is touched. One that is not a sound database of ours is
    // refused by the swap; the database in use is then simply reopened.
    const auto delivered = m_ctx.paths.UpdateDatabase();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(delivered, ec)) return false;

    // The file work (checking the delivered file, copying and syncing megabytes) runs beside the
    // window. The connection stays open on the old file meanwhile: a rename over it leaves the
    // open file's data alone, so the window never sees a missing database.
    auto swap = std::async(std::launch::async, [paths = m_ctx.paths, chosen = db::ChosenDatabasePath(m_ctx.settings)] {
        try {
            return db::SwapInDeliveredDatabase(paths, db::BuildDatabaseKey(), chosen);
        } catch (const std::exception&) {
            return false; // the swap never removes the current file, so it is reopened below
        }
    });
    while (swap.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
        if (m_ctx.yield != nullptr) m_ctx.yield->DoEvents();
    const bool swapped = swap.get();

    m_model->SetRecordset(nullptr);
    m_codeRecordset.reset();
    if (m_ctx.database.Open(m_ctx.settings, m_ctx.paths) != db::CodeDatabase::State::Open) return false;
    try {
        FillDeviceTypes();
    } catch (const std::exception&) {
        return false;
    }
    SearchFromControls();
    // Start-up found no usable database: this one completes it, so the program is ready at once.
    if (!m_startedWithDatabase) StartWithDatabase();
    return swapped;
}

std::int16_t FrmSASel::Get_Database_Ver() {
    return m_ctx.database.Version();
}

std::optional<core::PreparedDownload> FrmSASel::PrepareCurrentSlot() {
    AddInfo(m_ctx.CurDevice);
    const Slot slot = Slot::FromNumber(m_ctx.CurDevice);
    core::DownloadRequest request;
    request.RCUModel = m_ctx.RcuModel;
    request.slot = slot;
    request.SourceID = SlotTable.at(static_cast<std::size_t>(slot.Index())).SourceID;
    codec::SeededFiller filler;
    core::PreparedDownload prepared = core::PrepareDownload(m_ctx.database, request, filler);
    switch (prepared.refusal) {
    case core::Refusal::None:
        return prepared;
    case core::Refusal::NotAssigned:
        m_ctx.prompt.Show("Tolbe", Std(T(161)), Prompt::Buttons::Ok, Prompt::Icon::None);
        return std::nullopt;
    case core::Refusal::NoDatabase:
    case core::Refusal::DatabaseFailed:
        ShowMessage(T(141), T(137));
        return std::nullopt;
    case core::Refusal::EncoderRefused:
        break;
    }
    return std::nullopt; // the encoder refused: nothing is sent and nothing is said
}

void FrmSASel::BeginDownload() {
    m_busy = true;
    // The output may change between downloads, not under one.
    m_outputMenu->setEnabled(false);
    emit DownloadStarted();
}

void FrmSASel::EndDownload(bool sent) {
    if (!m_busy) return;
    m_busy = false;
    m_gate.Finish(Job::Download);
    m_outputMenu->setEnabled(true);
    emit DownloadFinished(sent);
}

void FrmSASel::ImgDownload_Click() {
    // A click while a download plays is ignored, as is one after the window was asked to close;
    // during an update the user is told why nothing happens.
    if (m_busy || m_closePending) return;
    if (!m_gate.TryStart(Job::Download)) {
        if (m_gate.Running() == Job::UpdateCheck) ShowNotice(330);
        return;
    }
    BeginDownload();
    std::optional<core::PreparedDownload> prepared = PrepareCurrentSlot();
    if (!prepared) {
        EndDownload(false);
        return;
    }
    CmdDownCodeAPI(std::move(*prepared));
    // The stream plays on, and OnPlaybackEnded ends the download.
}

void FrmSASel::CmdDownCodeAPI(core::PreparedDownload download) {
    CodeBuffer = std::move(download.CodeBuffer);
    BlockCount = download.BlockCount;
    const std::string device = audio::PcmDeviceFromSettings(m_ctx.settings);
    std::unique_ptr<audio::WaveOut> out = m_ctx.openWaveOut ? m_ctx.openWaveOut(device) : nullptr;
    if (out == nullptr) out = std::make_unique<audio::AlsaWaveOut>(device);
    m_job = new DownloadJob(std::move(out), std::move(download.signal), this);
    connect(m_job, &DownloadJob::ProgressStarted, this, &FrmSASel::OnProgressStarted);
    connect(m_job, &DownloadJob::ProgressStepped, this, &FrmSASel::OnProgressStepped);
    connect(m_job, &DownloadJob::Ended, this, &FrmSASel::OnPlaybackEnded);
    m_job->Start();
}

void FrmSASel::OnProgressStarted(int blockCount, const QString& deviceName) {
    Step([&] {
        delete m_progress;
        m_progress = new FrmProgressBar(this);
        LocaliseForm(m_progress, m_ctx.LangBase);
        m_progress->SetMaximum(blockCount);
        m_progress->SetValue(0);
        m_progress->SetDeviceCaption(deviceName, m_ctx.LangBase);
        if (m_job != nullptr) connect(m_progress, &FrmProgressBar::StopRequested, m_job, &DownloadJob::Stop);
        m_progress->show();
    });
}

void FrmSASel::OnProgressStepped() {
    if (m_progress != nullptr) m_progress->AddOne();
}

void FrmSASel::OnPlaybackEnded(bool ok, const QString& reason) {
    delete m_progress;
    m_progress = nullptr;
    const QString device = m_job != nullptr ? m_job->DeviceName() : QString();
    const bool stopped = m_job != nullptr && m_job->StoppedOnRequest(); // the user was told before
    if (m_job != nullptr) m_job->deleteLater();
    m_job = nullptr;
    if (ok) {
        ShowFinish();
        return;
    }
    if (stopped) return EndDownload(false);
    QString text = T(kTextPlaybackFailed);
    if (text.isEmpty()) text = QStringLiteral("%1: %2");
    m_ctx.prompt.Show("Tolbe", Std(text.arg(device, reason)), Prompt::Buttons::Ok, Prompt::Icon::Warning);
    EndDownload(false);
}

void FrmSASel::ShowFinish() {
    // The picture may be closed early by the user; whoever closes it, its going ends the download.
    auto* finish = new FrmFinish(this);
    finish->setAttribute(Qt::WA_DeleteOnClose);
    finish->SayProgrammed(m_ctx.LangBase);
    m_finish = finish;
    connect(finish, &QObject::destroyed, this, [this] {
        m_finishTimer.stop();
        EndDownload(true);
    });
    finish->show();
    m_finishTimer.start(kFinishShow_ms);
}

void FrmSASel::mnuFileSaveWav_Click() {
    QFileDialog dialog(this, T(kTextWavDialog));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(T(kTextWavFiles) + QStringLiteral(" (*.wav)"));
    dialog.setDefaultSuffix(QStringLiteral("wav"));
    dialog.selectFile(QString::fromStdString(Slot::FromNumber(m_ctx.CurDevice).Name()) + QStringLiteral(".wav"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    SaveDownloadAsWav(dialog.selectedFiles().front());
}

bool FrmSASel::SaveDownloadAsWav(const QString& file) {
    // A download of its own: the window's CodeBuffer keeps the last download's bytes.
    const std::optional<core::PreparedDownload> prepared = PrepareCurrentSlot();
    if (!prepared) return false;
    const audio::DownloadSignal& signal = prepared->signal;
    try {
        audio::WriteWavFile(std::filesystem::path(file.toStdString()), signal.pcm, audio::kSampleRate,
                            audio::kChannels);
    } catch (const std::exception& e) {
        QString text = T(kTextWavFailed);
        if (text.isEmpty()) text = QStringLiteral("%1");
        m_ctx.prompt.Show("Tolbe", Std(text.arg(QString::fromUtf8(e.what()))), Prompt::Buttons::Ok,
                          Prompt::Icon::Warning);
        return false;
    }
    return true;
}

void FrmSASel::FillOutputMenu() {
    const std::string current = audio::PcmDeviceFromSettings(m_ctx.settings);
    std::vector<audio::PlaybackDevice> devices;
    try {
        devices = m_ctx.playbackDevices ? m_ctx.playbackDevices() : audio::ListPlaybackDevices();
    } catch (const std::exception&) {
        devices.clear();
    }
    // A device named in the settings but not listed (one the user typed there) still shows, checked.
    if (std::none_of(devices.begin(), devices.end(), [&](const auto& d) { return d.name == current; }))
        devices.insert(devices.begin(), audio::PlaybackDevice{current, {}});
    m_outputMenu->clear();
    qDeleteAll(m_outputMenu->findChildren<QActionGroup*>(Qt::FindDirectChildrenOnly));
    auto* group = new QActionGroup(m_outputMenu);
    for (const auto& d : devices) {
        QString text = QString::fromStdString(d.card.empty() ? d.name : d.card); // a card by its name
        if (d.card.empty() && !d.description.empty())
            text += QStringLiteral(" \u2014 ") + QString::fromStdString(d.description);
        text.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* item = m_outputMenu->addAction(text);
        item->setStatusTip(QString::fromStdString(d.card.empty() ? d.description : d.name));
        item->setCheckable(true);
        item->setChecked(d.name == current);
        item->setData(QString::fromStdString(d.name));
        group->addAction(item);
        connect(item, &QAction::triggered, this, [this, name = d.name] { mnuFileOutput_Click(name); });
    }
}

void FrmSASel::mnuFileOutput_Click(const std::string& device) {
    if (m_busy) return;
    try {
        m_ctx.settings.SaveSetting(kSettingsApp, kSettingsSection, settings_key::kAudioDevice, device);
    } catch (const std::exception& e) {
        m_ctx.prompt.Show("Tolbe", e.what(), Prompt::Buttons::Ok, Prompt::Icon::Warning);
        // The check goes back to the saved device; not from inside the item's own handler.
        QTimer::singleShot(0, this, &FrmSASel::FillOutputMenu);
        return;
    }
    if (m_ctx.mixer != nullptr) {
        // The raised levels follow the output: the old card gets its own back first.
        const std::string card = audio::MixerCardFor(device);
        if (m_volumeRaised) audio::RestoreVolume(*m_ctx.mixer, m_ctx.mixerStateFile);
        m_ctx.mixer->SelectCard(card);
        if (m_volumeRaised) audio::RaiseVolume(*m_ctx.mixer, m_ctx.mixerStateFile);
    }
}

void FrmSASel::CentreDownloadLabel() {
    const QRect pic = ui->ImgDownload->geometry();
    const QSize lab = ui->LabDownload->size();
    const double left = pic.width() / 2.0 + pic.left() - lab.width() / 2.0;
    const double top = pic.height() / 2.0 + pic.top() - lab.height() / 2.0;
    ui->LabDownload->move(static_cast<int>(std::lround(left)), static_cast<int>(std::lround(top)));
}

void FrmSASel::FillDeviceTypes() {
    ui->ImgCombDevSel->clear();
    for (const auto& name : m_ctx.database.DeviceTypes())
        ui->ImgCombDevSel->addItem(QString::fromStdString(name));
    // The eighth item is selected; with fewer items nothing is.
    ui->ImgCombDevSel->setCurrentIndex(ui->ImgCombDevSel->count() > kSelectedDeviceTypeIndex ? kSelectedDeviceTypeIndex
                                                                                             : -1);
}

void FrmSASel::SearchSetOfCodes(const QString& device, const QString& brand, const QString& model) {
    if (!m_ctx.HasDatabase()) return;
    auto rs = std::make_shared<db::DbRecordset>(db::SearchSetOfCodes(
        m_ctx.database.DBConn(), Std(device), Std(brand), Std(model), Std(T(155)), Std(T(156)), Std(T(157))));
    m_codeRecordset.reset();
    m_model->SetRecordset(nullptr);
    m_codeRecordset = rs;
    m_model->SetRecordset(rs);
    if (rs->RecordCount() > 0) ui->IRDBGrid->setCurrentIndex(m_model->index(0, 2));
    SetGridColumnWidths();
    ui->FrameEmail->setVisible(rs->RecordCount() == 0);
}

void FrmSASel::SetGridColumnWidths() {
    SetCodeGridColumnWidths(ui->IRDBGrid);
}

void FrmSASel::SearchFromControls() {
    // Without a chosen device type there is nothing to search for (as at start-up).
    if (ui->ImgCombDevSel->currentIndex() < 0 || !m_ctx.HasDatabase()) return;
    try {
        SearchSetOfCodes(ui->ImgCombDevSel->currentText(), ui->TxtBrandKey->text(), ui->TxtModelKey->text());
    } catch (const std::exception&) {
        // The database went bad under us: say so once per search, keep the last result.
        ShowMessage(T(141), T(137));
    }
}

void FrmSASel::TxtBrandKey_Change() {
    SearchFromControls();
}
void FrmSASel::TxtModelKey_Change() {
    SearchFromControls();
}

void FrmSASel::ImgCombDevSel_Click() {
    // Emptying a box that holds text runs its own change handler, as typing would.
    ui->TxtBrandKey->setText(QString());
    ui->TxtModelKey->setText(QString());
    SearchFromControls();
}

void FrmSASel::AddInfo(std::int16_t slot) {
    codec::SlotInfo& info = SlotTable.at(static_cast<std::size_t>(slot));
    const int row = ui->IRDBGrid->currentIndex().row();
    auto cell = [&](int column) -> const db::DbValue& {
        if (m_codeRecordset == nullptr) throw db::DbError("no search result");
        return m_codeRecordset->ValueAt(row, column);
    };
    Step([&] { info.SourceID = cell(0).ToInt32(); });
    Step([&] { info.SetOfCodeID = cell(1).ToInt32(); });
    Step([&] {
        info.DeviceName = cell(2).Text();
        ui->LabDev->setText(T(130) + QString::fromStdString(info.DeviceName));
    });
    Step([&] {
        info.BrandName = cell(3).Text();
        ui->LabBrand->setText(T(131) + QString::fromStdString(info.BrandName));
    });
    Step([&] {
        info.ModelName = cell(4).Text();
        ui->LabModel->setText(T(132) + QString::fromStdString(info.ModelName));
    });
    UpdateAccessibleState();
}

void FrmSASel::ImageSelDev(std::int16_t slot) {
    m_selector->ImageSelDev(slot);
    UpdateAccessibleState();
}

void FrmSASel::ImgSelDev_Click(int index) {
    m_selector->ImgSelDev_Click(index);
    UpdateAccessibleState();
}

void FrmSASel::Timer1_Timer() {
    m_selector->Timer1_Timer();
}

void FrmSASel::Timer3_Timer() {
    // Once per start: the timer stops itself before the check, which may take a while.
    Timer3.stop();
    if (m_closePending || m_unloaded) return;
    if (!m_gate.TryStart(Job::UpdateCheck)) {
        // A download runs: the check simply comes after it.
        connect(&m_gate, &JobGate::Idle, this, &FrmSASel::Timer3_Timer,
                Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
        return;
    }
    if (m_update == nullptr) m_update = new FrmUpdate(m_ctx, *this, this);
    m_update->RunStartupCheck();
    m_gate.Finish(Job::UpdateCheck);
}

void FrmSASel::mnuLanguageIndex_Click(int index) {
    QAction* items[] = {ui->mnuLanguageIndex0, ui->mnuLanguageIndex1, ui->mnuLanguageIndex2, ui->mnuLanguageIndex3,
                        ui->mnuLanguageIndex4, ui->mnuLanguageIndex5, ui->mnuLanguageIndex6};
    for (QAction* a : items)
        a->setChecked(false);
    items[index]->setChecked(true);
    try {
        m_ctx.settings.SaveSetting(kSettingsApp, kSettingsSection, settings_key::kLanguage,
                                   std::to_string(index * 1000));
    } catch (const std::exception& e) {
        m_ctx.prompt.Show("Tolbe", e.what(), Prompt::Buttons::Ok, Prompt::Icon::Warning);
    }
    // The message speaks the newly chosen language; the windows change at the next start.
    const auto text = i18n::TryLoadText(index * 1000, 125);
    m_ctx.prompt.Show("Tolbe", text.value_or(""), Prompt::Buttons::Ok, Prompt::Icon::None);
}

void FrmSASel::mnuHelpAbout_Click() {
    ShowAboutWindow(this, m_ctx.LangBase);
}

void FrmSASel::IRDBGrid_MouseUp(Qt::MouseButton button, const QPoint& pos) {
    if (button != Qt::RightButton) return;
    // The row under the pointer, as the view itself lays rows out.
    const int row = ui->IRDBGrid->rowAt(pos.y());
    if (row < 0) return;
    const int column = std::max(2, ui->IRDBGrid->currentIndex().column());
    ui->IRDBGrid->setCurrentIndex(m_model->index(row, column));
}

bool FrmSASel::IRDBGrid_Wheel(QWheelEvent* event) {
    // One notch with no key or button held moves the current row by one, as the arrow keys do.
    if (event->modifiers() != Qt::NoModifier || event->buttons() != Qt::NoButton) return false;
    const int delta = event->angleDelta().y();
    if (delta != 120 && delta != -120) return false;
    const int rows = m_model->rowCount();
    if (rows == 0) return true;
    const int current = ui->IRDBGrid->currentIndex().row();
    const int next = std::clamp(current + (delta < 0 ? 1 : -1), 0, rows - 1);
    const int column = std::max(2, ui->IRDBGrid->currentIndex().column());
    ui->IRDBGrid->setCurrentIndex(m_model->index(next, column));
    return true;
}

bool FrmSASel::eventFilter(QObject* watched, QEvent* event) {
    QTableView* grid = ui->IRDBGrid;
    if (watched == grid->viewport()) {
        if (event->type() == QEvent::Wheel && IRDBGrid_Wheel(static_cast<QWheelEvent*>(event))) return true;
        if (event->type() == QEvent::MouseButtonRelease) {
            auto* me = static_cast<QMouseEvent*>(event);
            IRDBGrid_MouseUp(me->button(), me->position().toPoint());
        }
        if (event->type() == QEvent::Resize) SetGridColumnWidths();
    }
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
    SetGridColumnWidths();
}

void FrmSASel::closeEvent(QCloseEvent* event) {
    if (m_gate.Running() != Job::Close && !m_gate.TryStart(Job::Close)) {
        // Closing never cuts a job short: a download plays to its end packet, an update check
        // ends; then the window closes by itself and puts the mixer back.
        event->ignore();
        ShowNotice(m_gate.Running() == Job::Download ? 331 : 332);
        if (!m_closePending) {
            m_closePending = true;
            connect(
                &m_gate, &JobGate::Idle, this, [this] { close(); },
                Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
        }
        return;
    }
    Form_Unload();
    event->accept();
}

void FrmSASel::EndOnSignal() {
    if (m_update != nullptr) m_update->Check().CmdCancel_Click();
    close();
}

void FrmSASel::ShowNotice(int k) {
    if (m_unloaded) return;
    // Not modal: the running job goes on while the note is up.
    if (m_notice == nullptr) {
        m_notice = new QMessageBox(QMessageBox::Information, QStringLiteral("Tolbe"), QString(), QMessageBox::Ok, this);
        m_notice->setObjectName(QStringLiteral("JobNotice"));
        m_notice->setWindowModality(Qt::NonModal);
        m_notice->setAttribute(Qt::WA_DeleteOnClose);
        if (const QString ok = T(195); !ok.isEmpty()) m_notice->button(QMessageBox::Ok)->setText(ok);
    }
    m_notice->setText(T(k));
    m_notice->show();
    m_notice->raise();
}

void FrmSASel::Form_Unload() {
    if (m_unloaded) return;
    m_unloaded = true;
    Timer1.stop();
    Timer3.stop();
    if (m_notice != nullptr) m_notice->close();
    // Only levels that start-up saved are put back; otherwise the mixer is left alone.
    if (m_volumeRaised) {
        if (m_ctx.mixer != nullptr) audio::RestoreVolume(*m_ctx.mixer, m_ctx.mixerStateFile);
        m_volumeRaised = false;
    }
}

void FrmSASel::SetUpKeyboard() {
    // Tab runs device type, brand, model, grid, slot buttons, Download (the order is in the form);
    // the slot buttons and Download are pictures the mouse clicks, so Space and Enter click them too.
    new MainWindowAccess(*ui, *m_model, m_ctx.LangBase, this);
    const std::array<QLabel*, 4> slotButtons{ui->ImgSelDev0, ui->ImgSelDev1, ui->ImgSelDev2, ui->ImgSelDev3};
    for (int i = 0; i < 4; ++i)
        MakeKeyboardButton(
            slotButtons[static_cast<std::size_t>(i)], [this, i] { ImgSelDev_Click(i); }, QAccessible::Button, nullptr,
            7);
    MakeKeyboardButton(
        ui->LabDownload, [this] { ImgDownload_Click(); }, QAccessible::Button, ui->ImgDownload, 10);
    MakeKeyboardButton(
        ui->LabEmail, [this] { m_contact->LabEmail_Click(); }, QAccessible::Link);
    OnActivateKey(
        ui->IRDBGrid, [this] { IRDBGrid_Enter(); }, false);
    m_model->SetRowAnnouncer([this](int row) { return AnnounceRow(row); });
    connect(m_model, &QAbstractItemModel::modelReset, this, &FrmSASel::UpdateAccessibleState);
    // The form lists the same order, but Qt skips what cannot take the focus yet when it builds the chain.
    QWidget* order[] = {ui->ImgCombDevSel, ui->TxtBrandKey, ui->TxtModelKey, ui->IRDBGrid,    ui->ImgSelDev0,
                        ui->ImgSelDev1,    ui->ImgSelDev2,  ui->ImgSelDev3,  ui->LabDownload, ui->LabEmail};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    ui->ImgCombDevSel->setFocus(); // where the flow starts when the window opens
    FitTextAreasToDpi();
}

void FrmSASel::FitTextAreasToDpi() {
    // The form's sizes are pixels at 96 DPI. Where the fonts are set larger on unscaled pixels
    // (144 DPI without Qt's scaling), the areas that hold text grow with them, as twips would;
    // the pictures keep their pixel sizes.
    const int dpi_x = logicalDpiX(), dpi_y = logicalDpiY();
    if (dpi_x <= 96 && dpi_y <= 96) return;
    const auto grow = [dpi_x, dpi_y](QWidget* w) {
        const QSize at96 = w->minimumSize();
        w->setMinimumSize(TwipsToPixels(QSize(at96.width() * 15, at96.height() * 15), dpi_x, dpi_y));
    };
    grow(ui->IRDBGrid);
    grow(ui->ImgCombDevSel);
}

void FrmSASel::IRDBGrid_Enter() {
    // The row the user moved to becomes the current slot's code set, as Download would take it.
    if (m_model->rowCount() == 0 || !ui->IRDBGrid->currentIndex().isValid()) return;
    AddInfo(m_ctx.CurDevice);
}

void FrmSASel::SetFieldMnemonics() {
    // The field labels read as texts 126, 131 and 132, with a letter underlined for Alt.
    const std::pair<QLabel*, int> labels[] = {{ui->LabDevSel, 350}, {ui->LabBrandFilter, 351}, {ui->Label2, 352}};
    for (const auto& [label, k] : labels)
        if (const auto text = i18n::TryLoadText(m_ctx.LangBase, k)) label->setText(QString::fromStdString(*text));
}

void FrmSASel::SetAccessibleTexts() {
    const auto name = [this](QWidget* w, int k, int description_k = -1) {
        w->setAccessibleName(T(k));
        if (description_k >= 0) w->setAccessibleDescription(T(description_k));
    };
    name(ui->ImgCombDevSel, 353, 127);
    name(ui->TxtBrandKey, 354, 356);
    name(ui->TxtModelKey, 355, 356);
    name(ui->IRDBGrid, 357);
    name(ui->LabDownload, 135, 364);
    ui->LabEmail->setAccessibleName(ui->LabEmail->text());
    ui->LabEmail->setAccessibleDescription(T(365));
    name(ui->Imgcha, 366);
    name(ui->ImgPress, 367);
    name(ui->ImgLED, 368);
    name(ui->Gif89a1, 369);
    const std::array<QLabel*, 4> slotButtons{ui->ImgSelDev0, ui->ImgSelDev1, ui->ImgSelDev2, ui->ImgSelDev3};
    for (std::size_t i = 0; i < slotButtons.size(); ++i)
        slotButtons[i]->setAccessibleName(T(361).arg(QString::fromStdString(m_ctx.DeviceNames[i])));
    UpdateAccessibleState();
}

void FrmSASel::ShowLanguageOwnNames() {
    // Whoever switched by mistake finds the way back: each entry also names the language in itself.
    QAction* items[] = {ui->mnuLanguageIndex0, ui->mnuLanguageIndex1, ui->mnuLanguageIndex2, ui->mnuLanguageIndex3,
                        ui->mnuLanguageIndex4, ui->mnuLanguageIndex5, ui->mnuLanguageIndex6};
    for (int i = 0; i < 7; ++i) {
        const std::string text = i18n::LanguageMenuText(m_ctx.LangBase, i);
        if (!text.empty()) items[i]->setText(QString::fromStdString(text));
    }
}

QString FrmSASel::AnnounceRow(int row) const {
    if (m_codeRecordset == nullptr || row < 0 || row >= m_codeRecordset->RecordCount()) return {};
    const auto cell = [&](int column) { return QString::fromStdString(m_codeRecordset->ValueAt(row, column).Text()); };
    return T(360).arg(cell(2), cell(3), cell(4));
}

void FrmSASel::UpdateAccessibleState() {
    const QString results = T(358).arg(m_model->rowCount());
    // Chinese sentences end in a full-width stop that carries its own space.
    const QString gap = results.endsWith(QChar(0x3002)) ? QString() : QStringLiteral(" ");
    SetAccessibleDescriptionIfChanged(ui->IRDBGrid, results + gap + T(359));
    const std::array<QLabel*, 4> slotButtons{ui->ImgSelDev0, ui->ImgSelDev1, ui->ImgSelDev2, ui->ImgSelDev3};
    for (std::size_t i = 0; i < slotButtons.size(); ++i) {
        const codec::SlotInfo& info = SlotTable[i];
        const QString held =
            info.SourceID > 0 || !info.BrandName.empty()
                ? T(362).arg(QString::fromStdString(info.DeviceName), QString::fromStdString(info.BrandName),
                             QString::fromStdString(info.ModelName))
                : T(363);
        SetAccessibleDescriptionIfChanged(slotButtons[i], held);
        // As the buttons show it: any slot number but 0, 1 and 2 marks AUX.
        const int shown = Slot::FromNumber(m_ctx.CurDevice).Index();
        SetAccessibleChecked(slotButtons[i], static_cast<int>(i) == shown);
    }
}

} // namespace tolbe::app
