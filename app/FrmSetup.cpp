#include "app/FrmSetup.h"

#include "app/AccessibleWidgets.h"
#include "app/DeviceSelector.h"
#include "app/DownloadRunner.h"
#include "app/JobGate.h"
#include "app/KeyboardAccess.h"
#include "app/SharedControls.h"
#include "app/ShowMessage.h"
#include "core/Brands.h"
#include "core/Ranking.h"
#include "core/RemoteRecord.h"
#include "i18n/StringTable.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

namespace tolbe::app {
namespace {

// Near models offered at most, closest first.
constexpr std::size_t kNearModelsOffered = 3;

// Brands suggested at most in the "several brands fit" hint.
constexpr std::size_t kBrandsListed = 8;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QLabel* WrappedLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    // Brand, model and key names come from the code database: never read as markup.
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

FrmSetup::FrmSetup(AppContext& ctx, JobGate& gate, DownloadRunner& runner, QWidget* parent)
    : QDialog(parent), ActiveTexts(ctx.LangBase), m_ctx(ctx), m_gate(gate), m_runner(runner), m_slot(ctx.CurDevice) {
    setObjectName(QStringLiteral("FrmSetup"));
    setWindowTitle(T(kTextSetupTitle));
    setMinimumWidth(560);
    auto* outer = new QVBoxLayout(this);
    m_labSlot = new QLabel(this);
    m_labSlot->setObjectName(QStringLiteral("LabSlot"));
    QFont bold = m_labSlot->font();
    bold.setBold(true);
    m_labSlot->setFont(bold);
    outer->addWidget(m_labSlot);
    m_pages = new QStackedWidget(this);
    outer->addWidget(m_pages);
    BuildChoosePage();
    BuildTryPage();
    BuildAskPage();
    BuildEndPage();

    m_selector = std::make_unique<DeviceSelector>(m_slotButtons, m_imgPress, m_imgPlug, m_imgLight, m_slot, nullptr);
    m_animation.setInterval(700);
    connect(&m_animation, &QTimer::timeout, this, [this] { m_selector->Timer1_Timer(); });
    // Only the download this window started is answered here; the main window has its own.
    connect(&m_runner, &DownloadRunner::Finished, this, [this](bool sent) {
        if (m_downloading) OnDownloadFinished(sent);
    });

    FillBrands();
    // The main window's slot; a stopped set-up of another slot is offered (ShowResumeOffer), not taken.
    ChooseSlot(m_slot);
    connect(&m_runner, &DownloadRunner::RecordChanged, this, &FrmSetup::DescribeSlots);
    InstallAccessibleWidgets(this);
    AddFocusRings(this);
    ShowPage(Page::Choose, m_cmdResume->isVisibleTo(this) ? static_cast<QWidget*>(m_cmdResume) : m_slotButtons[0]);
}

FrmSetup::~FrmSetup() = default;

void FrmSetup::BuildChoosePage() {
    auto* page = new QWidget(m_pages);
    auto* grid = new QGridLayout(page);
    auto* labSlot = new QLabel(T(kTextSetupSlot), page);
    grid->addWidget(labSlot, 0, 0);
    auto* slotRow = new QHBoxLayout;
    for (const Slot slot : Slot::All()) {
        const int i = slot.Index();
        auto* button = new QLabel(page);
        button->setObjectName(QStringLiteral("ImgSlot%1").arg(i));
        button->setFixedSize(72, 31);
        button->setCursor(Qt::PointingHandCursor);
        button->setAccessibleName(T(kTextSlotName).arg(Q(slot.Name())));
        button->installEventFilter(this);
        MakeKeyboardButton(
            button, [this, i] { ChooseSlot(i); }, QAccessible::Button, nullptr, 7);
        m_slotButtons[static_cast<std::size_t>(i)] = button;
        slotRow->addWidget(button);
    }
    slotRow->addStretch();
    grid->addLayout(slotRow, 0, 1);

    const auto field = [&](int row, int k, QWidget* w) {
        auto* label = new QLabel(T(k), page);
        label->setBuddy(w);
        grid->addWidget(label, row, 0);
        grid->addWidget(w, row, 1);
        w->setAccessibleName(WithoutMnemonic(T(k)).remove(QRegularExpression(QStringLiteral("[:：\\s]+$"))));
        // An editable list's text field is what a reader meets inside it: it bears the same name.
        if (auto* box = qobject_cast<QComboBox*>(w); box && box->lineEdit())
            box->lineEdit()->setAccessibleName(box->accessibleName());
    };
    m_cmbDevice = new QComboBox(page);
    m_cmbDevice->setObjectName(QStringLiteral("CmbDevice"));
    m_cmbDevice->setAccessibleDescription(T(kTextDeviceTypeHint));
    try {
        if (m_ctx.HasDatabase()) FillDeviceTypes(m_cmbDevice, m_ctx.database);
    } catch (const std::exception&) {
        ShowDatabaseError(m_ctx.LangBase, this);
    }
    connect(m_cmbDevice, qOverload<int>(&QComboBox::activated), this, [this](int) { FillBrands(); });
    field(1, kTextDeviceField, m_cmbDevice);
    m_cmbDevice->setAccessibleName(T(kTextDeviceType)); // as the main window names its list

    m_cmbBrand = new QComboBox(page);
    m_cmbBrand->setObjectName(QStringLiteral("CmbBrand"));
    m_cmbBrand->setEditable(true);
    m_cmbBrand->setInsertPolicy(QComboBox::NoInsert);
    m_cmbBrand->completer()->setCaseSensitivity(Qt::CaseInsensitive);
    connect(m_cmbBrand, &QComboBox::editTextChanged, this, [this] {
        m_labHint->hide();
        m_cmdUseBrand->hide();
    });
    field(2, kTextBrandField, m_cmbBrand);

    m_txtModel = new QLineEdit(page);
    m_txtModel->setObjectName(QStringLiteral("TxtModel"));
    m_txtModel->setPlaceholderText(T(kTextModelHint));
    field(3, kTextModelField, m_txtModel);
    for (QWidget* w :
         {static_cast<QWidget*>(m_cmbDevice), static_cast<QWidget*>(m_cmbBrand), static_cast<QWidget*>(m_txtModel)})
        AddFocusRing(w, w, 3);

    m_labHint = WrappedLabel(page);
    m_labHint->setObjectName(QStringLiteral("LabHint"));
    m_cmdUseBrand = new QPushButton(T(kTextUseBrand), page);
    m_cmdUseBrand->setObjectName(QStringLiteral("CmdUseBrand"));
    connect(m_cmdUseBrand, &QPushButton::clicked, this, &FrmSetup::CmdUseBrand_Click);
    grid->addWidget(m_labHint, 4, 0, 1, 2);
    grid->addWidget(m_cmdUseBrand, 5, 1, Qt::AlignLeft);

    m_labResume = WrappedLabel(page);
    m_labResume->setObjectName(QStringLiteral("LabResume"));
    m_cmdResume = new QPushButton(T(kTextResume), page);
    m_cmdResume->setObjectName(QStringLiteral("CmdResume"));
    connect(m_cmdResume, &QPushButton::clicked, this, &FrmSetup::CmdResume_Click);
    m_cmdStartOver = new QPushButton(T(kTextStartOver), page);
    m_cmdStartOver->setObjectName(QStringLiteral("CmdStartOver"));
    connect(m_cmdStartOver, &QPushButton::clicked, this, &FrmSetup::CmdStartOver_Click);
    grid->addWidget(m_labResume, 6, 0, 1, 2);
    auto* resumeRow = new QHBoxLayout;
    resumeRow->addWidget(m_cmdResume);
    resumeRow->addWidget(m_cmdStartOver);
    resumeRow->addStretch();
    grid->addLayout(resumeRow, 7, 1);
    grid->setRowStretch(8, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    m_cmdFind = new QPushButton(T(kTextFindCandidates), page);
    m_cmdFind->setObjectName(QStringLiteral("CmdFind"));
    connect(m_cmdFind, &QPushButton::clicked, this, &FrmSetup::CmdFind_Click);
    auto* close = new QPushButton(T(kTextClose), page);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(m_cmdFind);
    buttons->addWidget(close);
    grid->addLayout(buttons, 9, 0, 1, 2);
    m_pages->addWidget(page);
}

void FrmSetup::BuildTryPage() {
    auto* page = new QWidget(m_pages);
    auto* box = new QVBoxLayout(page);
    m_labTryHeading = new QLabel(page);
    m_labTryHeading->setObjectName(QStringLiteral("LabTryHeading"));
    QFont bold = m_labTryHeading->font();
    bold.setBold(true);
    m_labTryHeading->setFont(bold);
    m_labCovers = WrappedLabel(page);
    m_labModels = WrappedLabel(page);
    m_labModels->setObjectName(QStringLiteral("LabModels"));
    m_labModelHint = WrappedLabel(page);
    m_labModelHint->setObjectName(QStringLiteral("LabModelHint"));
    m_nearModels = new QHBoxLayout;
    for (QLabel* l : {m_labTryHeading, m_labCovers, m_labModels, m_labModelHint})
        box->addWidget(l);
    box->addLayout(m_nearModels);

    // The main window's instruction pictures, in the sizes they are drawn for.
    auto* pictures = new QHBoxLayout;
    m_imgPlug = new QLabel(page);
    m_imgPlug->setFixedSize(212, 100);
    m_imgPress = new QLabel(page);
    m_imgPress->setFixedSize(100, 88);
    m_imgLight = new QLabel(page);
    m_imgLight->setFixedSize(131, 60);
    pictures->addStretch();
    m_imgPlug->setAccessibleName(T(kTextPicturePlug));
    m_imgPress->setAccessibleName(T(kTextPicturePress));
    m_imgLight->setAccessibleName(T(kTextPictureLight));
    for (QLabel* l : {m_imgPlug, m_imgPress, m_imgLight})
        pictures->addWidget(l);
    pictures->addStretch();
    box->addLayout(pictures);
    auto* press = new QLabel(T(kTextPressAndHold), page);
    press->setAlignment(Qt::AlignCenter);
    box->addWidget(press);
    auto* ready = WrappedLabel(page);
    ready->setText(T(kTextReadyRemote));
    ready->setObjectName(QStringLiteral("LabReady"));
    box->addWidget(ready);
    m_labTryNote = WrappedLabel(page);
    m_labTryNote->setObjectName(QStringLiteral("LabTryNote"));
    box->addWidget(m_labTryNote);
    m_labEffort = WrappedLabel(page);
    m_labEffort->setObjectName(QStringLiteral("LabEffort"));
    box->addWidget(m_labEffort);
    box->addStretch();

    auto* buttons = new QHBoxLayout;
    m_cmdTryPrevious = new QPushButton(T(kTextPrevious), page);
    m_cmdTryPrevious->setObjectName(QStringLiteral("CmdTryPrevious"));
    connect(m_cmdTryPrevious, &QPushButton::clicked, this, &FrmSetup::CmdPrevious_Click);
    auto* stop = new QPushButton(T(kTextStopKeepPlace), page);
    stop->setObjectName(QStringLiteral("CmdTryStop"));
    connect(stop, &QPushButton::clicked, this, &FrmSetup::CmdStop_Click);
    m_cmdDownload = new QPushButton(T(kTextSetupDownload), page);
    m_cmdDownload->setObjectName(QStringLiteral("CmdDownload"));
    connect(m_cmdDownload, &QPushButton::clicked, this, &FrmSetup::CmdDownload_Click);
    buttons->addWidget(m_cmdTryPrevious);
    buttons->addWidget(stop);
    buttons->addStretch();
    buttons->addWidget(m_cmdDownload);
    box->addLayout(buttons);
    m_pages->addWidget(page);
}

void FrmSetup::BuildAskPage() {
    auto* page = new QWidget(m_pages);
    auto* box = new QVBoxLayout(page);
    m_labAskHeading = new QLabel(page);
    m_labAskHeading->setFont(m_labTryHeading->font());
    box->addWidget(m_labAskHeading);
    m_labKeys = WrappedLabel(page);
    m_labKeys->setObjectName(QStringLiteral("LabKeys"));
    box->addWidget(m_labKeys);
    // The boxes are a group named by what to do with them; Tab meets them before the answers.
    m_keyGroup = new QGroupBox(T(kTextTickWhichWorked), page);
    m_keyGroup->setObjectName(QStringLiteral("GrpKeys"));
    m_keyGroup->setFlat(true);
    m_keyBoxes = new QVBoxLayout(m_keyGroup);
    box->addWidget(m_keyGroup);
    auto* question = new QLabel(T(kTextDidItRespond), page);
    QFont bold = question->font();
    bold.setBold(true);
    question->setFont(bold);
    box->addWidget(question);
    m_labAskNote = WrappedLabel(page);
    m_labAskNote->setObjectName(QStringLiteral("LabAskNote"));
    box->addWidget(m_labAskNote);
    box->addStretch();

    auto* answers = new QGridLayout;
    m_cmdYes = new QPushButton(T(kTextAnswerYes), page);
    m_cmdYes->setObjectName(QStringLiteral("CmdYes"));
    auto* some = new QPushButton(T(kTextAnswerSome), page);
    some->setObjectName(QStringLiteral("CmdSome"));
    auto* no = new QPushButton(T(kTextAnswerNo), page);
    no->setObjectName(QStringLiteral("CmdNo"));
    m_cmdAskPrevious = new QPushButton(T(kTextPrevious), page);
    m_cmdAskPrevious->setObjectName(QStringLiteral("CmdAskPrevious"));
    auto* stop = new QPushButton(T(kTextStopKeepPlace), page);
    stop->setObjectName(QStringLiteral("CmdAskStop"));
    // The question is what the three answers answer.
    for (QPushButton* b : {m_cmdYes, some, no})
        b->setAccessibleDescription(T(kTextDidItRespond));
    m_answerOrder = {m_cmdYes, some, no, m_cmdAskPrevious, stop};
    connect(m_cmdYes, &QPushButton::clicked, this, &FrmSetup::CmdYes_Click);
    connect(some, &QPushButton::clicked, this, &FrmSetup::CmdSome_Click);
    connect(no, &QPushButton::clicked, this, &FrmSetup::CmdNo_Click);
    connect(m_cmdAskPrevious, &QPushButton::clicked, this, &FrmSetup::CmdPrevious_Click);
    connect(stop, &QPushButton::clicked, this, &FrmSetup::CmdStop_Click);
    answers->addWidget(m_cmdYes, 0, 0);
    answers->addWidget(some, 0, 1);
    answers->addWidget(no, 0, 2);
    answers->addWidget(m_cmdAskPrevious, 1, 0);
    answers->addWidget(stop, 1, 1);
    box->addLayout(answers);
    m_pages->addWidget(page);
}

void FrmSetup::BuildEndPage() {
    auto* page = new QWidget(m_pages);
    auto* box = new QVBoxLayout(page);
    m_labEnd = WrappedLabel(page);
    m_labEnd->setObjectName(QStringLiteral("LabEnd"));
    box->addWidget(m_labEnd);
    box->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    m_cmdGoOn = new QPushButton(T(kTextGoOn), page);
    m_cmdGoOn->setObjectName(QStringLiteral("CmdGoOn"));
    connect(m_cmdGoOn, &QPushButton::clicked, this, &FrmSetup::CmdGoOn_Click);
    m_cmdResendBest = new QPushButton(T(kTextResendBest), page);
    m_cmdResendBest->setObjectName(QStringLiteral("CmdResendBest"));
    connect(m_cmdResendBest, &QPushButton::clicked, this, &FrmSetup::CmdResendBest_Click);
    m_cmdEndClose = new QPushButton(T(kTextClose), page);
    m_cmdEndClose->setObjectName(QStringLiteral("CmdEndClose"));
    connect(m_cmdEndClose, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(m_cmdGoOn);
    buttons->addWidget(m_cmdResendBest);
    buttons->addWidget(m_cmdEndClose);
    box->addLayout(buttons);
    m_pages->addWidget(page);
}

FrmSetup::Page FrmSetup::CurrentPage() const {
    return static_cast<Page>(m_pages->currentIndex());
}

bool FrmSetup::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        for (int i = 0; i < 4; ++i)
            if (watched == m_slotButtons[static_cast<std::size_t>(i)]) {
                ChooseSlot(i);
                return true;
            }
    return QDialog::eventFilter(watched, event);
}

void FrmSetup::reject() {
    // The progress window and the finish picture show over this window: it stays while they do.
    if (!m_downloading) QDialog::reject();
}

void FrmSetup::closeEvent(QCloseEvent* event) {
    if (m_downloading) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void FrmSetup::FillBrands() {
    const QString typed = m_cmbBrand->currentText();
    m_cmbBrand->clear();
    if (m_ctx.HasDatabase() && m_cmbDevice->currentIndex() >= 0) {
        // A database that cannot be read leaves the list empty; the search that follows says so.
        const auto choice = core::ChooseBrand(m_ctx.database, m_cmbDevice->currentText().toStdString());
        if (choice)
            for (const std::string& brand : choice->matching)
                m_cmbBrand->addItem(Q(brand));
    }
    m_cmbBrand->setEditText(typed);
}

void FrmSetup::ChooseSlot(int slot) {
    m_selector->ImgSelDev_Click(slot);
    for (std::size_t i = 0; i < m_slotButtons.size(); ++i)
        SetAccessibleChecked(m_slotButtons[i], static_cast<int>(i) == m_slot);
    m_labSlot->setText(T(kTextSlotHeading).arg(Q(ChosenSlot().Name())));
    DescribeSlots();
    ShowResumeOffer();
}

void FrmSetup::DescribeSlots() {
    // Each slot button says what this computer last wrote into it, as My remote does.
    for (const Slot slot : Slot::All()) {
        const core::SlotRecord& r = m_runner.Record().Of(slot);
        const int verdict = r.verdict == core::Verdict::Works    ? kTextVerdictWorks
                            : r.verdict == core::Verdict::Partly ? kTextVerdictWorks + 1
                            : r.verdict == core::Verdict::Failed ? kTextVerdictWorks + 2
                                                                 : kTextVerdictWorks + 3;
        SetAccessibleDescriptionIfChanged(
            m_slotButtons[static_cast<std::size_t>(slot.Index())],
            r.HasWritten() ? T(kTextOnRemote).arg(Q(r.written.BrandName), Q(r.written.ModelName), T(verdict))
                           : T(kTextNothingWritten));
    }
}

void FrmSetup::ShowResumeOffer() {
    const core::SlotRecord& record = m_runner.Record().Of(ChosenSlot());
    // The chosen slot's own stopped set-up, else the first other slot's.
    m_resumeSlot = -1;
    if (record.resume)
        m_resumeSlot = ChosenSlot().Index();
    else
        for (const Slot slot : Slot::All())
            if (m_runner.Record().Of(slot).resume && m_resumeSlot < 0) m_resumeSlot = slot.Index();
    const Slot resumeSlot = Slot::FromNumber(m_resumeSlot);
    const auto& resume = m_resumeSlot >= 0 ? m_runner.Record().Of(resumeSlot).resume : record.resume;
    m_labResume->setVisible(resume.has_value());
    m_cmdResume->setVisible(resume.has_value());
    m_cmdStartOver->setVisible(record.resume.has_value() || !record.ruledOut.empty());
    if (resume) {
        m_labResume->setText(T(kTextResumeOffer)
                                 .arg(Q(resumeSlot.Name()))
                                 .arg(resume->candidate + 1)
                                 .arg(Q(resume->device), Q(resume->brand)));
        SetAccessibleDescriptionIfChanged(m_cmdResume, m_labResume->text());
    }
    (resume ? m_cmdResume : m_cmdFind)->setDefault(true);
    (resume ? m_cmdFind : m_cmdResume)->setDefault(false);
}

void FrmSetup::CmdFind_Click() {
    if (!m_ctx.HasDatabase() || m_cmbDevice->currentIndex() < 0) return;
    const std::string device = m_cmbDevice->currentText().toStdString();
    const QString typed = m_cmbBrand->currentText().trimmed();
    if (typed.isEmpty()) {
        m_cmbBrand->setFocus();
        return;
    }
    const auto chosen = core::ChooseBrand(m_ctx.database, device, typed.toStdString());
    if (!chosen) {
        ShowDatabaseError(m_ctx.LangBase, this);
        return;
    }
    const core::BrandChoice& choice = *chosen;
    // A brand written as the database writes it, or the only one the text finds, is taken at once.
    std::string brand;
    const int exact = m_cmbBrand->findText(typed, Qt::MatchFixedString);
    if (exact >= 0)
        brand = m_cmbBrand->itemText(exact).toStdString();
    else if (choice.matching.size() == 1)
        brand = choice.matching.front();
    if (brand.empty()) {
        m_cmdUseBrand->setVisible(choice.matching.empty() && !choice.nearest.empty());
        if (choice.matching.size() > 1) {
            QStringList names;
            for (std::size_t i = 0; i < choice.matching.size() && i < kBrandsListed; ++i)
                names << Q(choice.matching[i]);
            m_labHint->setText(T(kTextSeveralBrands).arg(typed, JoinedList(m_ctx.LangBase, names)));
        } else if (!choice.nearest.empty()) {
            m_suggested = choice.nearest.front();
            m_labHint->setText(T(kTextDidYouMean).arg(Q(m_suggested)));
            m_cmdUseBrand->setFocus();
        } else {
            m_labHint->setText(T(kTextNoSuchBrand).arg(typed));
        }
        m_labHint->show();
        AnnouncePolitely(m_labHint, m_labHint->text());
        return;
    }
    m_cmbBrand->setEditText(Q(brand));
    StartCandidates(device, brand, m_txtModel->text().trimmed().toStdString(), 0, {});
}

void FrmSetup::CmdUseBrand_Click() {
    if (m_suggested.empty()) return;
    m_cmbBrand->setEditText(Q(m_suggested));
    CmdFind_Click();
}

void FrmSetup::CmdResume_Click() {
    if (m_resumeSlot >= 0 && m_resumeSlot != m_slot) ChooseSlot(m_resumeSlot);
    const auto resume = m_runner.Record().Of(ChosenSlot()).resume;
    if (!resume || !m_ctx.HasDatabase()) return;
    m_cmbDevice->setCurrentIndex(m_cmbDevice->findText(Q(resume->device)));
    FillBrands();
    m_cmbBrand->setEditText(Q(resume->brand));
    m_txtModel->setText(Q(resume->model));
    StartCandidates(resume->device, resume->brand, resume->model, resume->candidate, resume->imageSha256, true);
}

void FrmSetup::CmdStartOver_Click() {
    const core::SlotRecord& r = m_runner.Record().Of(ChosenSlot());
    if (!m_ctx.HasDatabase() || (!r.resume && r.ruledOut.empty())) return;
    const std::string device = r.resume ? r.resume->device : r.ruledOutDevice;
    const std::string brand = r.resume ? r.resume->brand : r.ruledOutBrand;
    const std::string model = r.resume ? r.resume->model : m_txtModel->text().trimmed().toStdString();
    m_runner.ChangeRecord([&](core::RemoteRecord& record) { record.StartOver(ChosenSlot()); });
    ShowResumeOffer();
    m_cmbDevice->setCurrentIndex(m_cmbDevice->findText(Q(device)));
    FillBrands();
    m_cmbBrand->setEditText(Q(brand));
    m_txtModel->setText(Q(model));
    StartCandidates(device, brand, model, 0, {});
}

void FrmSetup::StartCandidates(const std::string& device, const std::string& brand, const std::string& model, int at,
                               const std::string& imageSha256, bool resume) {
    auto list = core::FindCandidates(m_ctx.database, ChosenSlot(), device, brand, model);
    if (!list) {
        ShowDatabaseError(m_ctx.LangBase, this);
        return;
    }
    m_device = device;
    m_brand = brand;
    m_model = model;
    m_list = std::move(*list);
    m_triedMs = 0;
    m_tries = 0;
    m_tryClock.invalidate();
    m_modelHints = true;
    ShowModelHints();
    m_best = {};
    m_resendingBest = false;
    // What was ruled out before counts as tried and answered: those first, as if just tried, then
    // the likeliest of the rest.
    m_answers.clear();
    const auto ruledOut = [&](const core::Candidate& x) {
        return m_runner.Record().IsRuledOut(ChosenSlot(), m_device, m_brand, x.imageSha256);
    };
    const auto rest = std::stable_partition(m_list.candidates.begin(), m_list.candidates.end(), ruledOut);
    for (auto x = m_list.candidates.begin(); x != rest; ++x)
        m_answers.push_back({x->imageSha256, core::Verdict::Failed, {}});
    core::RankRest(m_list, m_answers, static_cast<std::size_t>(rest - m_list.candidates.begin()));
    if (m_list.candidates.empty()) {
        ShowEnd(T(kTextNoCandidates).arg(Q(ChosenSlot().Name())));
        return;
    }
    // The list may have changed since the place was kept (a newer database): the image decides.
    const auto& c = m_list.candidates;
    const auto same = std::find_if(c.begin(), c.end(), [&](const core::Candidate& x) {
        return !imageSha256.empty() && x.imageSha256 == imageSha256;
    });
    const int from =
        same != c.end() ? static_cast<int>(same - c.begin()) : std::clamp(at, 0, static_cast<int>(c.size()) - 1);
    // The place kept is the candidate the user stood at, ruled out or not (they may have gone back to it).
    const int open = resume && same != c.end() ? from : NextOpen(from);
    if (open < 0) {
        ShowEnd(T(kTextNoneLeft).arg(c.size()));
        return;
    }
    ShowTry(open, false);
}

int FrmSetup::NextOpen(int from) const {
    for (int i = std::max(from, 0); i < static_cast<int>(m_list.candidates.size()); ++i)
        if (!m_runner.Record().IsRuledOut(ChosenSlot(), m_device, m_brand,
                                          m_list.candidates[static_cast<std::size_t>(i)].imageSha256))
            return i;
    return -1;
}

void FrmSetup::ShowModelHints() {
    const core::ModelLookup& m = m_list.model;
    QStringList hints;
    if (m.looksLikeSerial) hints << T(kTextLooksLikeSerial).arg(Q(m.typed));
    if (!m.typed.empty() && m.matching == 0)
        hints << T(kTextNoModelMatches).arg(Q(m.typed)).arg(m_list.candidates.size());
    m_labModelHint->setText(hints.join(QLatin1Char('\n')));
    // Later: a button's own click may have brought us here.
    for (QPushButton* b : m_nearButtons) {
        b->hide();
        b->deleteLater();
    }
    m_nearButtons.clear();
    if (m.matching > 0) return;
    for (std::size_t i = 0; i < m.nearModels.size() && i < kNearModelsOffered; ++i) {
        const std::string near = m.nearModels[i];
        // A model name is no mnemonic: an ampersand in it stays one.
        auto* b = new QPushButton(T(kTextDidYouMeanModel).arg(Q(near).replace(QLatin1Char('&'), QStringLiteral("&&"))),
                                  m_pages->widget(static_cast<int>(Page::Try)));
        b->setObjectName(QStringLiteral("CmdNearModel%1").arg(i));
        connect(b, &QPushButton::clicked, this, [this, near] {
            m_txtModel->setText(Q(near));
            StartCandidates(m_device, m_brand, near, 0, {});
        });
        m_nearModels->addWidget(b);
        m_nearButtons.push_back(b);
    }
}

int FrmSetup::FirstUntried() const {
    int n = 0;
    while (n < static_cast<int>(m_list.candidates.size()) && AnswerOf(n))
        ++n;
    return n;
}

const core::Answer* FrmSetup::AnswerOf(int index) const {
    if (index < 0 || index >= static_cast<int>(m_list.candidates.size())) return nullptr;
    const std::string& image = m_list.candidates[static_cast<std::size_t>(index)].imageSha256;
    const auto it =
        std::find_if(m_answers.begin(), m_answers.end(), [&](const core::Answer& a) { return a.imageSha256 == image; });
    return it == m_answers.end() ? nullptr : &*it;
}

QString FrmSetup::AnswerText(int index) const {
    const core::Answer* a = AnswerOf(index);
    if (!a) return {};
    if (a->verdict != core::Verdict::Partly) return T(kTextAnsweredNo);
    QStringList keys;
    for (const core::TestKey& key : m_list.candidates[static_cast<std::size_t>(index)].testKeys)
        if (std::find(a->keysWorked.begin(), a->keysWorked.end(), key.keyMapId) != a->keysWorked.end())
            keys << KeyText(key);
    return T(kTextAnsweredSome).arg(JoinedList(m_ctx.LangBase, keys));
}

void FrmSetup::Count(core::Verdict verdict, std::vector<std::int32_t> keysWorked) {
    const std::string image = m_list.candidates[static_cast<std::size_t>(m_index)].imageSha256;
    m_answers.erase(std::remove_if(m_answers.begin(), m_answers.end(),
                                   [&](const core::Answer& a) { return a.imageSha256 == image; }),
                    m_answers.end());
    m_answers.push_back({image, verdict, std::move(keysWorked)});
    if (m_tryClock.isValid()) {
        m_triedMs += m_tryClock.elapsed();
        ++m_tries;
        m_tryClock.invalidate();
    }
    m_modelHints = false; // the search is under way: the typed model is no longer the question
    // The ones not tried yet are ranked again in the light of this answer; the tried ones stay.
    if (const int gap = FirstUntried(); gap < m_index) {
        // Answered for the first time behind an untried one: it joins the tried ones at the front.
        std::rotate(m_list.candidates.begin() + gap, m_list.candidates.begin() + m_index,
                    m_list.candidates.begin() + m_index + 1);
        m_index = gap;
    }
    core::RankRest(m_list, m_answers, static_cast<std::size_t>(FirstUntried()));
}

int FrmSetup::Answer(core::Verdict verdict, std::vector<std::int32_t> keysWorked, std::vector<std::string> keyNames,
                     bool done) {
    const core::Candidate c = m_list.candidates[static_cast<std::size_t>(m_index)];
    const auto place = [&](int at) {
        return core::ResumePoint{m_device, m_brand, m_model, at,
                                 m_list.candidates[static_cast<std::size_t>(at)].imageSha256};
    };
    bool counted = false;
    bool slotChanged = false;
    int next = -1;
    m_runner.ChangeRecord([&](core::RemoteRecord& record) {
        // The answer is about what the remote holds: when another download wrote the slot since,
        // it is not counted and the place stays on this candidate.
        if (!record.Answer(ChosenSlot(), m_device, m_brand, c.imageSha256, c.first.SetOfCodeID, verdict, keyNames)) {
            slotChanged = true;
            record.SaveResume(ChosenSlot(), place(m_index));
            return;
        }
        Count(verdict, std::move(keysWorked));
        counted = true;
        next = NextOpen(FirstUntried()); // the record as it is now, with what else was ruled out
        // The place moves on with every answer, so a window closed any way resumes here.
        if (done || next < 0)
            record.ClearResume(ChosenSlot());
        else
            record.SaveResume(ChosenSlot(), place(next));
    });
    if (slotChanged) {
        ShowTry(m_index, false);
        m_labTryNote->setText(T(kTextSlotWrittenMeanwhile).arg(Q(ChosenSlot().Name())));
        m_labTryNote->show();
        AnnouncePolitely(m_labTryNote, m_labTryNote->text());
        return kAnswerNotCounted;
    }
    if (!counted) {
        // The record could not be read or written (the user was told): the assistant goes on.
        Count(verdict, {});
        next = NextOpen(FirstUntried());
    }
    return next;
}

QString FrmSetup::CandidateHeading() const {
    return T(kTextCandidateOf).arg(m_index + 1).arg(m_list.candidates.size());
}

void FrmSetup::ShowTry(int index, bool failedBefore) {
    m_index = index;
    const core::Candidate& c = m_list.candidates[static_cast<std::size_t>(index)];
    m_labTryHeading->setText(CandidateHeading());
    m_labCovers->setText(T(kTextCovers).arg(m_list.CodeSetsCovered()));
    QStringList models;
    for (const std::string& m : c.models)
        models << Q(m);
    m_labModels->setText(T(kTextCandidateModels).arg(JoinedList(m_ctx.LangBase, models)));
    m_labModelHint->setVisible(m_modelHints && !m_labModelHint->text().isEmpty());
    // Only the candidates still open count: the ruled-out ones are never offered again.
    int left = 0;
    for (int i = FirstUntried(); i < static_cast<int>(m_list.candidates.size()); ++i)
        if (NextOpen(i) == i) ++left;
    const qint64 minutes = m_tries > 0 ? (left * m_triedMs / m_tries + 59999) / 60000 : 0;
    m_labEffort->setText(minutes > 1 ? T(kTextMinutesLeft).arg(minutes) : T(kTextOneMinuteLeft));
    m_labEffort->setVisible(m_tries > 0 && left > 0);
    if (!m_tryClock.isValid()) m_tryClock.start();
    for (QPushButton* b : m_nearButtons)
        b->setVisible(m_modelHints);
    // A candidate answered before says so: a new answer needs it on the remote again.
    const QString answered = m_resendingBest ? QString() : AnswerText(index);
    m_labTryNote->setText(failedBefore         ? T(kTextNotCounted)
                          : answered.isEmpty() ? QString()
                                               : answered + QLatin1Char(' ') + T(kTextSendToChange));
    m_labTryNote->setVisible(!m_labTryNote->text().isEmpty());
    m_cmdTryPrevious->setEnabled(index > 0);
    m_selector->ResetAnimation();
    m_selector->ShowFirstFrames();
    m_animation.start();
    m_cmdDownload->setDefault(true);
    // What the page says beyond its heading is what Download is for: a reader hears it there.
    const QString note = m_labTryNote->text();
    m_cmdDownload->setAccessibleDescription(note.isEmpty() ? T(kTextReadyRemote) : note);
    ShowPage(Page::Try, m_cmdDownload);
    AnnouncePolitely(m_cmdDownload, note.isEmpty() ? CandidateHeading() : CandidateHeading() + Stop() + note);
}

QString FrmSetup::Stop() const {
    return m_ctx.LangBase == 0 ? QStringLiteral("\u3002") : QStringLiteral(". "); // Chinese has its own full stop
}

void FrmSetup::ShowPage(Page page, QWidget* focus) {
    QWidget* next = m_pages->widget(static_cast<int>(page));
    next->setAccessibleName(T(kTextPageChoose + static_cast<int>(page)));
    setWindowTitle(NameAndValue(m_ctx.LangBase, T(kTextSetupTitle), next->accessibleName()));
    SetAccessibleNameIfChanged(this, windowTitle()); // readers keep the name they read first otherwise
    // Qt gives the focus to the incoming page's first control when the outgoing page held it; the
    // control meant takes it before the page changes, so a reader hears one control, not two.
    if (focus && focus->isEnabled()) focus->setFocus();
    m_pages->setCurrentWidget(next);
    GrowToFit(this);
}

void FrmSetup::CmdDownload_Click() {
    if (m_downloading || CurrentPage() != Page::Try || m_gate.Closing()) return;
    if (!m_gate.TryStart(Job::Download)) {
        m_labTryNote->setText(T(kTextBusy));
        m_labTryNote->show();
        m_cmdDownload->setAccessibleDescription(T(kTextBusy));
        AnnouncePolitely(m_cmdDownload, T(kTextBusy));
        GrowToFit(this);
        return;
    }
    m_downloading = true;
    m_pages->setEnabled(false);
    const codec::SlotInfo written = m_list.candidates[static_cast<std::size_t>(m_index)].first;
    core::DownloadRequest request;
    request.RCUModel = m_ctx.RcuModel;
    request.slot = ChosenSlot();
    request.SourceID = written.SourceID;
    request.StrKeyDown = m_list.candidates[static_cast<std::size_t>(m_index)].StrKeyDown;
    m_runner.Run([this, request, written] { return m_runner.PrepareSend(request, written); }, this);
}

void FrmSetup::OnDownloadFinished(bool sent) {
    m_downloading = false;
    m_pages->setEnabled(true);
    // Nothing reached the remote: the same candidate waits, and it is not counted as tried.
    if (!sent) {
        ShowTry(m_index, true);
        return;
    }
    if (m_resendingBest) {
        // Nothing better worked: the best one is back on the remote and kept as partly working.
        m_resendingBest = false;
        const codec::SlotInfo first = m_list.candidates[static_cast<std::size_t>(m_best.index)].first;
        const Best best = m_best;
        if (Answer(core::Verdict::Partly,
                   AnswerOf(m_index) ? AnswerOf(m_index)->keysWorked : std::vector<std::int32_t>{}, best.keys,
                   true) == kAnswerNotCounted)
            return;
        m_best = best;
        ShowEnd(T(kTextSetupWorksPartly)
                    .arg(Q(ChosenSlot().Name()), Q(first.BrandName), Q(first.ModelName))
                    .arg(first.SetOfCodeID)
                    .arg(m_best.shown));
        return;
    }
    ShowAsk(m_index);
}

QString FrmSetup::KeyText(const core::TestKey& key) const {
    return KeyName(m_ctx.LangBase, key.kind, key.name);
}

void FrmSetup::ShowAsk(int index) {
    m_animation.stop();
    m_index = index;
    const core::Candidate& c = m_list.candidates[static_cast<std::size_t>(m_index)];
    const core::Answer* before = AnswerOf(index);
    // The candidate was encoded when it was listed; a database gone unreadable since leaves the
    // page without keys to tick, and the answer buttons still work.
    auto keys = core::TestKeysFor(m_ctx.database, ChosenSlot(), c.first.SourceID, c.StrKeyDown, m_device);
    m_keys = keys ? std::move(*keys) : std::vector<core::TestKey>{};
    for (QCheckBox* box : m_keyChecks)
        delete box;
    m_keyChecks.clear();
    QStringList names;
    for (const core::TestKey& key : m_keys) {
        names << KeyText(key);
        auto* box = new QCheckBox(KeyText(key), m_pages->widget(static_cast<int>(Page::Ask)));
        box->setChecked(before && std::find(before->keysWorked.begin(), before->keysWorked.end(), key.keyMapId) !=
                                      before->keysWorked.end());
        box->setObjectName(QStringLiteral("ChkKey%1").arg(m_keyChecks.size()));
        m_keyBoxes->addWidget(box);
        m_keyChecks.push_back(box);
    }
    // The boxes stand above the answers, and Tab takes them in that order.
    QWidget* previous = nullptr;
    for (QWidget* w : m_keyChecks)
        (previous ? QWidget::setTabOrder(previous, w) : void()), previous = w;
    for (QWidget* w : m_answerOrder)
        (previous ? QWidget::setTabOrder(previous, w) : void()), previous = w;
    AddFocusRings(m_keyGroup);
    m_keyGroup->setVisible(!m_keyChecks.empty());
    m_labAskHeading->setText(CandidateHeading());
    m_labKeys->setText(T(kTextPressKeys).arg(JoinedList(m_ctx.LangBase, names)) + QLatin1Char('\n') +
                       T(kTextPressTwice));
    // Back on a candidate still on the remote: what was answered shows, and the answer may change.
    m_labAskNote->setText(AnswerText(index));
    m_labAskNote->setVisible(before != nullptr);
    m_cmdAskPrevious->setEnabled(m_index > 0);
    m_cmdYes->setDefault(true);
    // The keys are pressed on the remote first, then ticked: the focus starts on the first box.
    QWidget* first = m_keyChecks.empty() ? static_cast<QWidget*>(m_cmdYes) : m_keyChecks.front();
    ShowPage(Page::Ask, first);
    AnnouncePolitely(first, m_labKeys->text() + QLatin1Char('\n') + T(kTextDidItRespond));
}

void FrmSetup::CmdYes_Click() {
    const codec::SlotInfo first = m_list.candidates[static_cast<std::size_t>(m_index)].first;
    if (Answer(core::Verdict::Works, {}, {}, true) == kAnswerNotCounted) return;
    ShowEnd(
        T(kTextSetupWorks).arg(Q(ChosenSlot().Name()), Q(first.BrandName), Q(first.ModelName)).arg(first.SetOfCodeID));
}

void FrmSetup::CmdSome_Click() {
    std::vector<std::string> worked;
    std::vector<std::int32_t> ids;
    QStringList shown;
    for (std::size_t i = 0; i < m_keyChecks.size() && i < m_keys.size(); ++i)
        if (m_keyChecks[i]->isChecked()) {
            worked.push_back(m_keys[i].name);
            ids.push_back(m_keys[i].keyMapId);
            shown << KeyText(m_keys[i]);
        }
    if (worked.empty()) {
        m_labAskNote->setText(T(kTextTickKeys));
        m_labAskNote->show();
        m_keyGroup->setAccessibleDescription(T(kTextTickKeys));
        QWidget* first = m_keyChecks.empty() ? static_cast<QWidget*>(m_cmdYes) : m_keyChecks.front();
        first->setAccessibleDescription(T(kTextTickKeys));
        first->setFocus();
        AnnouncePolitely(first, T(kTextTickKeys));
        GrowToFit(this);
        return;
    }
    const codec::SlotInfo first = m_list.candidates[static_cast<std::size_t>(m_index)].first;
    const std::string image = m_list.candidates[static_cast<std::size_t>(m_index)].imageSha256;
    const bool wasBest =
        m_best.index >= 0 && m_list.candidates[static_cast<std::size_t>(m_best.index)].imageSha256 == image;
    const std::size_t bestKeys = wasBest ? 0 : m_best.keys.size();
    const int next = Answer(core::Verdict::Partly, std::move(ids), worked);
    if (next == kAnswerNotCounted) return;
    // The tried ones keep their places, so the best one's index stays good.
    if (wasBest || m_best.index < 0 || worked.size() >= bestKeys)
        m_best = {m_index, worked, JoinedList(m_ctx.LangBase, shown)};
    ShowEnd(T(kTextSetupWorksPartly)
                    .arg(Q(ChosenSlot().Name()), Q(first.BrandName), Q(first.ModelName))
                    .arg(first.SetOfCodeID)
                    .arg(JoinedList(m_ctx.LangBase, shown)) +
                (next < 0 ? QString() : QLatin1Char('\n') + T(kTextLookOn)),
            next >= 0 ? m_cmdGoOn : nullptr);
}

void FrmSetup::CmdGoOn_Click() {
    const int next = NextOpen(FirstUntried());
    if (CurrentPage() != Page::End || next < 0) return;
    ShowTry(next, false);
}

void FrmSetup::CmdResendBest_Click() {
    if (m_best.index < 0 || CurrentPage() != Page::End) return;
    m_resendingBest = true;
    ShowTry(m_best.index, false);
}

void FrmSetup::CmdNo_Click() {
    const core::Candidate& c = m_list.candidates[static_cast<std::size_t>(m_index)];
    const std::string image = c.imageSha256;
    const int next = Answer(core::Verdict::Failed, {});
    if (next == kAnswerNotCounted) return;
    // A partly working one answered "no" after all is no longer the best.
    if (m_best.index >= 0 && m_list.candidates[static_cast<std::size_t>(m_best.index)].imageSha256 == image)
        m_best = {};
    if (next >= 0) {
        ShowTry(next, false);
        return;
    }
    if (m_best.index >= 0) {
        const codec::SlotInfo& best = m_list.candidates[static_cast<std::size_t>(m_best.index)].first;
        ShowEnd(T(kTextNoneBetter).arg(Q(best.BrandName), Q(best.ModelName)).arg(best.SetOfCodeID).arg(m_best.shown),
                m_cmdResendBest);
        return;
    }
    ShowEnd(T(kTextNoneLeft).arg(m_list.candidates.size()));
}

void FrmSetup::CmdPrevious_Click() {
    // Back goes to the one before even when it was ruled out: the user may have answered too soon.
    // While it is still on the remote its answer can change at once; otherwise it is sent again.
    if (m_index <= 0 || m_downloading) return;
    m_resendingBest = false;
    const int previous = m_index - 1;
    const bool onRemote = m_runner.Record().Of(ChosenSlot()).imageSha256 ==
                          m_list.candidates[static_cast<std::size_t>(previous)].imageSha256;
    if (onRemote && AnswerOf(previous))
        ShowAsk(previous);
    else
        ShowTry(previous, false);
}

void FrmSetup::CmdStop_Click() {
    if (m_index >= 0 && m_index < static_cast<int>(m_list.candidates.size())) {
        m_runner.ChangeRecord([&](core::RemoteRecord& record) {
            record.SaveResume(ChosenSlot(), {m_device, m_brand, m_model, m_index,
                                             m_list.candidates[static_cast<std::size_t>(m_index)].imageSha256});
        });
    }
    m_animation.stop();
    close();
}

void FrmSetup::ShowEnd(const QString& text, QPushButton* next) {
    m_animation.stop();
    m_labEnd->setText(text);
    for (QPushButton* b : {m_cmdGoOn, m_cmdResendBest}) {
        b->setVisible(b == next);
        b->setAccessibleDescription(b == next ? text : QString());
    }
    QPushButton* focus = next ? next : m_cmdEndClose;
    m_cmdEndClose->setAccessibleDescription(next ? QString() : text);
    focus->setDefault(true);
    ShowPage(Page::End, focus);
    AnnouncePolitely(focus, text);
}

} // namespace tolbe::app
