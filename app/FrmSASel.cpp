#include "app/FrmSASel.h"

#include "app/ContactLink.h"
#include "app/DeviceSelector.h"
#include "app/DownloadJob.h"
#include "app/FrmFinish.h"
#include "app/FrmProgressBar.h"
#include "app/FrmUpdate.h"
#include "app/LocaliseForm.h"
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
#include <QMouseEvent>
#include <QMovie>
#include <QWheelEvent>

#include <cmath>
#include <exception>
#include <filesystem>
#include <functional>

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
    // The timers run from load on, whatever start-up manages to do.
    Timer1.start();
    Timer3.start();

    m_ctx.DBConn = std::make_unique<db::DbConnection>();
    Step([&] {
        QFile qss(QString::fromStdString(m_ctx.paths.StyleSheet().string()));
        if (qss.open(QIODevice::ReadOnly)) setStyleSheet(QString::fromUtf8(qss.readAll()));
    });
    Step([&] {
        const QString gif = QString::fromStdString(m_ctx.paths.AnimatedPicture().string());
        if (!QFile::exists(gif)) return;
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
    Step([&] { CentreDownloadLabel(); });
    Step([&] { FillOutputMenu(); });
    Step([&] { m_ctx.DeviceNames = {"TV", "SAT", "DVD", "AUX"}; });
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

    const db::DatabaseLocation loc = db::CheckDatabase(m_ctx.settings, m_ctx.paths);
    m_ctx.DBPath = loc.DBPath;
    m_ctx.DBKey = loc.DBKey;
    if (!loc.exists) {
        m_ctx.prompt.Show("Tolbe", Std(T(136)), Prompt::Buttons::Ok, Prompt::Icon::Question);
        m_ctx.DBConn.reset();
        return;
    }
    bool opened = false;
    try {
        opened = m_ctx.DBConn->OpenDatabase(m_ctx.DBPath, m_ctx.DBKey, true);
    } catch (const std::exception&) {
        opened = false;
    }
    if (!opened) {
        ShowMessage(T(141), T(137));
        m_ctx.DBConn.reset();
        return;
    }

    Step([&] { FillDeviceTypes(); });
    for (auto& slot : SlotTable) {
        slot.DeviceName.clear();
        slot.BrandName.clear();
        slot.ModelName.clear();
    }
    Step([&] {
        if (ui->ImgCombDevSel->currentIndex() < 0) return;
        SearchSetOfCodes(ui->ImgCombDevSel->currentText(), QString(), QString());
    });
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

bool FrmSASel::Reconnect_Database(std::int16_t /*offered_version*/) {
    // Without a delivered file nothing is touched. One that is not a sound database of ours is
    // refused by the swap; the database in use is then simply reopened.
    const auto delivered = m_ctx.paths.UpdateDatabase();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(delivered, ec)) return false;

    m_model->SetRecordset(nullptr);
    m_codeRecordset.reset();
    m_ctx.DBConn.reset();
    bool swapped = false;
    try {
        swapped = db::SwapInDeliveredDatabase(m_ctx.paths, db::BuildDatabaseKey());
    } catch (const std::exception&) {
        swapped = false; // the swap never removes the current file, so it is reopened below
    }

    m_ctx.DBConn = std::make_unique<db::DbConnection>();
    const db::DatabaseLocation loc = db::CheckDatabase(m_ctx.settings, m_ctx.paths);
    m_ctx.DBPath = loc.DBPath;
    m_ctx.DBKey = loc.DBKey;
    if (!loc.exists) return false;
    if (!m_ctx.DBConn->OpenDatabase(m_ctx.DBPath, m_ctx.DBKey, true)) return false;
    try {
        FillDeviceTypes();
    } catch (const std::exception&) {
        return false;
    }
    SearchFromControls();
    return swapped;
}

std::int16_t FrmSASel::Get_Database_Ver() {
    return db::Get_Database_Ver(m_ctx.DBConn.get(), m_ctx.DBPath, m_ctx.DBKey);
}

bool FrmSASel::ResolveCurrentSlot(std::uint8_t& slot, std::int32_t& sourceId, std::string& order) {
    AddInfo(m_ctx.CurDevice);
    slot = static_cast<std::uint8_t>(m_ctx.CurDevice);
    sourceId = SlotTable.at(slot <= 3 ? slot : 3).SourceID;
    if (sourceId < 1) {
        m_ctx.prompt.Show("Tolbe", Std(T(161)), Prompt::Buttons::Ok, Prompt::Icon::None);
        return false;
    }
    if (!m_ctx.HasDatabase()) {
        ShowMessage(T(141), T(137));
        return false;
    }
    try {
        order = codec::DownloadOrderFor(*m_ctx.DBConn, sourceId, m_ctx.RcuModel);
    } catch (const std::exception&) {
        ShowMessage(T(141), T(137));
        return false;
    }
    return true;
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
    m_outputMenu->setEnabled(true);
    emit DownloadFinished(sent);
}

void FrmSASel::ImgDownload_Click() {
    // A click while a download plays finds the flag set and is ignored.
    if (m_busy) return;
    BeginDownload();
    std::uint8_t s = 0;
    std::int32_t sourceId = 0;
    std::string order;
    if (!ResolveCurrentSlot(s, sourceId, order) || !CmdDownCodeAPI(m_ctx.RcuModel, s, sourceId, order))
        EndDownload(false);
    // Otherwise the stream plays on, and OnPlaybackEnded ends the download.
}

bool FrmSASel::CmdDownCodeAPI(std::uint8_t RCUModel, std::uint8_t eDevice, std::int32_t SourceID,
                              const std::string& StrKeyDown) {
    CodeBuffer.assign(768, 0);
    codec::SeededFiller filler;
    try {
        if (!codec::BuildCodeRecord(RCUModel, eDevice, SourceID, CodeBuffer, BlockCount, StrKeyDown, m_ctx.DBPath,
                                    m_ctx.DBKey, filler))
            return false;
    } catch (const std::exception&) {
        return false; // any error inside the encoder is a refusal: nothing is sent
    }
    const std::string device = audio::PcmDeviceFromSettings(m_ctx.settings);
    std::unique_ptr<audio::WaveOut> out = m_ctx.openWaveOut ? m_ctx.openWaveOut(device) : nullptr;
    if (out == nullptr) out = std::make_unique<audio::AlsaWaveOut>(device);
    const std::string name = m_ctx.DeviceNames.at(eDevice <= 3 ? eDevice : 3);
    m_job = new DownloadJob(std::move(out), audio::BuildDownloadSignal(eDevice, CodeBuffer, BlockCount, name), this);
    connect(m_job, &DownloadJob::ProgressStarted, this, &FrmSASel::OnProgressStarted);
    connect(m_job, &DownloadJob::ProgressStepped, this, &FrmSASel::OnProgressStepped);
    connect(m_job, &DownloadJob::Ended, this, &FrmSASel::OnPlaybackEnded);
    m_job->Start();
    return true;
}

void FrmSASel::OnProgressStarted(int blockCount, const QString& deviceName) {
    Step([&] {
        delete m_progress;
        m_progress = new FrmProgressBar(this);
        LocaliseForm(m_progress, m_ctx.LangBase);
        m_progress->SetMaximum(blockCount);
        m_progress->SetValue(0);
        m_progress->SetDeviceCaption(deviceName, m_ctx.LangBase);
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
    if (m_job != nullptr) m_job->deleteLater();
    m_job = nullptr;
    if (ok) {
        ShowFinish();
        return;
    }
    QString text = T(kTextPlaybackFailed);
    if (text.isEmpty()) text = QStringLiteral("%1: %2");
    m_ctx.prompt.Show("Tolbe", Std(text.arg(device, reason)), Prompt::Buttons::Ok, Prompt::Icon::Warning);
    EndDownload(false);
}

void FrmSASel::ShowFinish() {
    // The picture may be closed early by the user; whoever closes it, its going ends the download.
    auto* finish = new FrmFinish(this);
    finish->setAttribute(Qt::WA_DeleteOnClose);
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
    const auto slot = static_cast<std::size_t>(std::clamp<int>(m_ctx.CurDevice, 0, 3));
    dialog.selectFile(QString::fromStdString(m_ctx.DeviceNames.at(slot)) + QStringLiteral(".wav"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    SaveDownloadAsWav(dialog.selectedFiles().front());
}

bool FrmSASel::SaveDownloadAsWav(const QString& file) {
    std::uint8_t s = 0;
    std::int32_t sourceId = 0;
    std::string order;
    if (!ResolveCurrentSlot(s, sourceId, order)) return false;
    // A buffer of its own: the window's CodeBuffer keeps the last download's bytes.
    std::vector<std::uint8_t> code(768, 0);
    std::int16_t blocks = 0;
    codec::SeededFiller filler;
    try {
        if (!codec::BuildCodeRecord(m_ctx.RcuModel, s, sourceId, code, blocks, order, m_ctx.DBPath, m_ctx.DBKey,
                                    filler))
            return false;
    } catch (const std::exception&) {
        return false; // as for a download: a refusal sends and says nothing
    }
    const audio::DownloadSignal signal =
        audio::BuildDownloadSignal(s, code, blocks, m_ctx.DeviceNames.at(s <= 3 ? s : 3));
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
        QString text = QString::fromStdString(d.name);
        if (!d.description.empty()) text += QStringLiteral(" \u2014 ") + QString::fromStdString(d.description);
        text.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* item = m_outputMenu->addAction(text);
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
    for (const auto& name : db::ReadDeviceTypes(*m_ctx.DBConn))
        ui->ImgCombDevSel->addItem(QString::fromStdString(name));
    // The eighth item is selected; with fewer items nothing is.
    ui->ImgCombDevSel->setCurrentIndex(
        ui->ImgCombDevSel->count() > db::kSelectedDeviceTypeIndex ? db::kSelectedDeviceTypeIndex : -1);
}

void FrmSASel::SearchSetOfCodes(const QString& device, const QString& brand, const QString& model) {
    if (!m_ctx.HasDatabase()) return;
    auto rs = std::make_shared<db::DbRecordset>(db::SearchSetOfCodes(*m_ctx.DBConn, Std(device), Std(brand), Std(model),
                                                                     Std(T(155)), Std(T(156)), Std(T(157))));
    m_codeRecordset.reset();
    m_model->SetRecordset(nullptr);
    m_codeRecordset = rs;
    m_model->SetRecordset(rs);
    if (rs->RecordCount() > 0) ui->IRDBGrid->setCurrentIndex(m_model->index(0, 2));
    SetGridColumnWidths();
    ui->FrameEmail->setVisible(rs->RecordCount() == 0);
}

void FrmSASel::SetGridColumnWidths() {
    if (m_model->columnCount() < 6) return;
    QTableView* grid = ui->IRDBGrid;
    const int W = grid->viewport()->width();
    const int dpi = grid->logicalDpiX();
    const int device = TwipsToPixels(1400, dpi);
    grid->setColumnHidden(0, true);
    grid->setColumnHidden(1, true);
    grid->setColumnWidth(2, device);
    grid->setColumnWidth(3, W / 3);
    grid->setColumnWidth(4, std::max(40, 2 * W / 3 - device - TwipsToPixels(600, dpi)));
    grid->setColumnHidden(5, true);
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
}

void FrmSASel::ImageSelDev(std::int16_t slot) {
    m_selector->ImageSelDev(slot);
}

void FrmSASel::ImgSelDev_Click(int index) {
    m_selector->ImgSelDev_Click(index);
}

void FrmSASel::Timer1_Timer() {
    m_selector->Timer1_Timer();
}

void FrmSASel::Timer3_Timer() {
    // Once per start: the timer stops itself before the check, which may take a while.
    Timer3.stop();
    if (m_update == nullptr) m_update = new FrmUpdate(m_ctx, *this, this);
    m_update->RunStartupCheck();
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
    Form_Unload();
    event->accept();
}

void FrmSASel::Form_Unload() {
    if (m_unloaded) return;
    m_unloaded = true;
    Timer1.stop();
    Timer3.stop();
    // Only levels that start-up saved are put back; otherwise the mixer is left alone.
    if (m_volumeRaised) {
        if (m_ctx.mixer != nullptr) audio::RestoreVolume(*m_ctx.mixer, m_ctx.mixerStateFile);
        m_volumeRaised = false;
    }
}

} // namespace tolbe::app
