#include "app/FrmProgressBar.h"

#include "app/AccessibleWidgets.h"
#include "app/UiText.h"
#include "common/Product.h"
#include "i18n/StringTable.h"
#include "ui_FrmProgressBar.h"

#include <QMessageBox>
#include <QPushButton>

namespace tolbe::app {
namespace {

constexpr QSize kClientTwips{6690, 975};
constexpr QRect kProgressBarTwips{120, 360, 6375, 495};
// The label is as wide as the bar beneath it: at its first width of 900 twips (60 pixels)
// "AUX Downloading" and every translation of it were cut off.
constexpr QRect kLabDevTwips{120, 0, 6375, 345};

} // namespace

FrmProgressBar::FrmProgressBar(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::FrmProgressBar>()) {
    InstallAccessibleWidgets();
    m_ui->setupUi(this);
    const int dpi_x = logicalDpiX();
    const int dpi_y = logicalDpiY();
    setFixedSize(TwipsToPixels(kClientTwips, dpi_x, dpi_y));
    m_ui->LabDev->setGeometry(TwipsToPixels(kLabDevTwips, dpi_x, dpi_y));
    m_ui->LabFinish->setGeometry(TwipsToPixels(kLabDevTwips, dpi_x, dpi_y));
    m_ui->ProgressBar1->setGeometry(TwipsToPixels(kProgressBarTwips, dpi_x, dpi_y));
}

FrmProgressBar::~FrmProgressBar() = default;

void FrmProgressBar::SetMaximum(int maximum) {
    m_ui->ProgressBar1->setMaximum(maximum);
}

int FrmProgressBar::Maximum() const {
    return m_ui->ProgressBar1->maximum();
}

void FrmProgressBar::SetValue(int value) {
    m_ui->ProgressBar1->setValue(value);
    NameTheBar();
}

void FrmProgressBar::NameTheBar() {
    // The bar is read as a sentence ("Block 3 of 9"): it is no value a reader could change.
    const auto text = i18n::TryLoadText(m_langBase, kTextBlockOf);
    if (!text) return;
    SetAccessibleNameIfChanged(m_ui->ProgressBar1, QString::fromStdString(*text).arg(Value()).arg(Maximum()));
    // The eye reads the same count on the bar.
    m_ui->ProgressBar1->setFormat(QString::fromStdString(*text).arg(QStringLiteral("%v"), QStringLiteral("%m")));
    m_ui->ProgressBar1->setTextVisible(true);
}

int FrmProgressBar::Value() const {
    return m_ui->ProgressBar1->value();
}

void FrmProgressBar::AddOne() {
    if (Value() < Maximum()) SetValue(Value() + 1);
}

int FrmProgressBar::CaptionNumber() const {
    bool ok = false;
    const int k = m_ui->LabDev->property("Tag").toString().toInt(&ok);
    return ok ? k : -1;
}

void FrmProgressBar::SetDeviceCaption(const QString& device_name, int LangBase) {
    m_langBase = LangBase;
    NameTheBar();
    const auto text = CaptionNumber() < 0 ? std::nullopt : i18n::TryLoadText(LangBase, CaptionNumber());
    SetCaption(text ? device_name + ' ' + QString::fromStdString(*text) : device_name);
}

void FrmProgressBar::SetCaption(const QString& caption) {
    m_ui->LabDev->setText(caption);
    setAccessibleName(caption); // the window is named by what it counts; its title is the program's
}

QString FrmProgressBar::Caption() const {
    return m_ui->LabDev->text();
}

QMessageBox* FrmProgressBar::StopQuestion() const {
    return findChild<QMessageBox*>(QStringLiteral("StopQuestion"));
}

void FrmProgressBar::reject() {
    if (QMessageBox* open = StopQuestion()) {
        open->raise();
        open->activateWindow();
        return;
    }
    // Not modal to the application: the download plays on while the question is up, and the
    // question goes with this window when the download ends first.
    auto* box = new QMessageBox(QMessageBox::Question, QString::fromLatin1(kProductName),
                                UiText(m_langBase, kTextStopQuestion), QMessageBox::Yes | QMessageBox::No, this);
    box->setObjectName(QStringLiteral("StopQuestion"));
    box->setInformativeText(UiText(m_langBase, kTextStopConsequence));
    box->setDefaultButton(QMessageBox::No);
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (const QString yes = UiText(m_langBase, kTextYes); !yes.isEmpty()) box->button(QMessageBox::Yes)->setText(yes);
    if (const QString no = UiText(m_langBase, kTextNo); !no.isEmpty()) box->button(QMessageBox::No)->setText(no);
    connect(box, &QMessageBox::finished, this, [this, box] {
        if (box->clickedButton() == box->button(QMessageBox::Yes)) emit StopRequested();
    });
    box->open();
}

} // namespace tolbe::app
