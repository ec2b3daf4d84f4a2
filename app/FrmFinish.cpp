#include "app/FrmFinish.h"

#include "app/DeviceSelector.h"
#include "app/FrmProgressBar.h"
#include "ui_FrmFinish.h"

namespace tolbe::app {
namespace {

constexpr QSize kClientTwips{4950, 4740};

} // namespace

FrmFinish::FrmFinish(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::FrmFinish>()) {
    m_ui->setupUi(this);
    setFixedSize(TwipsToPixels(kClientTwips, logicalDpiX(), logicalDpiY()));
    ShowPicture(m_ui->ImgFinish, "FINISH");
    // The picture keeps its own size and sits in the middle of the client area.
    const QSize picture = m_ui->ImgFinish->pixmap().deviceIndependentSize().toSize();
    m_ui->ImgFinish->setGeometry(
        QRect(QPoint((width() - picture.width()) / 2, (height() - picture.height()) / 2), picture));
}

FrmFinish::~FrmFinish() = default;

} // namespace tolbe::app
