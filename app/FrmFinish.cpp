#include "app/FrmFinish.h"

#include "app/AccessibleWidgets.h"
#include "app/DeviceSelector.h"
#include "app/FrmProgressBar.h"
#include "i18n/StringTable.h"
#include "ui_FrmFinish.h"

namespace tolbe::app {
namespace {

constexpr QSize kClientTwips{4950, 4740};
constexpr int kTextProgrammed = 373;
constexpr int kTextProgrammedDescription = 374;

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

void FrmFinish::SayProgrammed(int LangBase) {
    const auto name = i18n::TryLoadText(LangBase, kTextProgrammed);
    const auto description = i18n::TryLoadText(LangBase, kTextProgrammedDescription);
    if (!name || !description) return;
    for (QWidget* w : {static_cast<QWidget*>(this), static_cast<QWidget*>(m_ui->ImgFinish)}) {
        w->setAccessibleName(QString::fromStdString(*name));
        w->setAccessibleDescription(QString::fromStdString(*description));
    }
    // Said also when the window does not take the focus (a window manager may keep it elsewhere).
    const char* stop = LangBase == 0 ? "\u3002" : ". "; // Chinese has its own full stop
    AnnouncePolitely(this, QString::fromStdString(*name + stop + *description));
}

} // namespace tolbe::app
