#include "app/FrmProgressBar.h"

#include "i18n/StringTable.h"
#include "ui_FrmProgressBar.h"

namespace tolbe::app {
namespace {

constexpr QSize kClientTwips{6690, 975};
constexpr QRect kProgressBarTwips{120, 360, 6375, 495};
// The label is as wide as the bar beneath it: at its first width of 900 twips (60 pixels)
// "AUX Downloading" and every translation of it were cut off.
constexpr QRect kLabDevTwips{120, 0, 6375, 345};

} // namespace

FrmProgressBar::FrmProgressBar(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::FrmProgressBar>()) {
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
    const auto text = CaptionNumber() < 0 ? std::nullopt : i18n::TryLoadText(LangBase, CaptionNumber());
    SetCaption(text ? device_name + ' ' + QString::fromStdString(*text) : device_name);
}

void FrmProgressBar::SetCaption(const QString& caption) {
    m_ui->LabDev->setText(caption);
    m_ui->ProgressBar1->setAccessibleName(caption); // a screen reader hears what the bar counts
}

QString FrmProgressBar::Caption() const {
    return m_ui->LabDev->text();
}

} // namespace tolbe::app
