#include "app/FrmFinish.h"

#include "app/AccessibleWidgets.h"
#include "app/DeviceSelector.h"
#include "app/FrmProgressBar.h"
#include "app/UiText.h"
#include "i18n/StringTable.h"
#include "ui_FrmFinish.h"

#include <QLabel>

namespace tolbe::app {
namespace {

constexpr QSize kClientTwips{4950, 4740};
constexpr int kSlotLine_px = 28;

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

void FrmFinish::SayProgrammed(int LangBase, const QString& slot) {
    const auto name = i18n::TryLoadText(LangBase, kTextProgrammed);
    const auto description = i18n::TryLoadText(LangBase, kTextProgrammedDescription);
    if (!name || !description) return;
    const auto slotText = slot.isEmpty() ? std::nullopt : i18n::TryLoadText(LangBase, kTextSlotProgrammed);
    const QString which = slotText ? QString::fromStdString(*slotText).arg(slot) : QString();
    const QString told = which.isEmpty() ? QString::fromStdString(*description)
                                         : which + QLatin1Char(' ') + QString::fromStdString(*description);
    for (QWidget* w : {static_cast<QWidget*>(this), static_cast<QWidget*>(m_ui->ImgFinish)}) {
        w->setAccessibleName(QString::fromStdString(*name));
        w->setAccessibleDescription(told);
    }
    if (!which.isEmpty() && m_labSlot == nullptr) {
        // A line under the picture, so the eye reads which slot too.
        m_labSlot = new QLabel(which, this);
        m_labSlot->setObjectName(QStringLiteral("LabSlotProgrammed"));
        m_labSlot->setAlignment(Qt::AlignCenter);
        m_labSlot->setGeometry(0, height(), width(), kSlotLine_px);
        m_labSlot->show();
        setFixedSize(width(), height() + kSlotLine_px);
        setWindowTitle(which);
    }
    // Said also when the window does not take the focus (a window manager may keep it elsewhere).
    const char* stop = LangBase == 0 ? "\u3002" : ". "; // Chinese has its own full stop
    AnnouncePolitely(this, QString::fromStdString(*name + stop) + told);
}

} // namespace tolbe::app
