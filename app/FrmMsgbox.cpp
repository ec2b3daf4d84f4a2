#include "app/FrmMsgbox.h"

#include "app/Twips.h"
#include "ui_FrmMsgbox.h"

#include <algorithm>

namespace tolbe::app {
namespace {

constexpr QRect kPromptTwips{120, 120, 5160, 1440};
constexpr int kButtonTopTwips = 1740;
constexpr QSize kButtonTwips{1215, 375};

} // namespace

MessageBoxRequest& MessageRequest() {
    static MessageBoxRequest request;
    return request;
}

FrmMsgbox::FrmMsgbox(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::FrmMsgbox>()) {
    m_ui->setupUi(this);
    connect(m_ui->CmdOK, &QPushButton::clicked, this, &FrmMsgbox::CmdOK_Click);
    connect(m_ui->CmdNO, &QPushButton::clicked, this, &FrmMsgbox::CmdNO_Click);
    Form_Load();
}

FrmMsgbox::~FrmMsgbox() = default;

QPlainTextEdit* FrmMsgbox::TxtPrompt() const {
    return m_ui->TxtPrompt;
}
QPushButton* FrmMsgbox::CmdOK() const {
    return m_ui->CmdOK;
}
QPushButton* FrmMsgbox::CmdNO() const {
    return m_ui->CmdNO;
}

void FrmMsgbox::Form_Load() {
    const MessageBoxRequest& request = MessageRequest();
    setWindowTitle(request.title);
    m_ui->TxtPrompt->setPlainText(request.prompt);
    // A reader names the box by what it says, not only by its title and button.
    m_ui->TxtPrompt->setAccessibleName(request.prompt);
    setAccessibleDescription(request.prompt);
    m_ui->CmdOK->setText(request.first_caption);
    m_ui->CmdNO->setText(request.second_caption);

    const int dpi_x = logicalDpiX();
    const int dpi_y = logicalDpiY();

    // Both buttons get one width, wide enough for the longer caption in any language, and the
    // window grows when a pair of long captions would not fit beside each other.
    int w = TwipsToPixels(kButtonTwips.width(), dpi_x);
    w = std::max(w, m_ui->CmdOK->sizeHint().width());
    if (request.two_buttons) w = std::max(w, m_ui->CmdNO->sizeHint().width());
    const int margin = TwipsToPixels(kPromptTwips.left(), dpi_x);
    const int buttons_width = request.two_buttons ? 2 * w + TwipsToPixels(kMsgboxButtonGapTwips, dpi_x) : w;
    const int W = std::max(TwipsToPixels(kMsgboxWidthTwips, dpi_x), buttons_width + 2 * margin);
    setFixedSize(W, TwipsToPixels(kMsgboxHeightTwips, dpi_y));
    QRect prompt = TwipsToPixels(kPromptTwips, dpi_x, dpi_y);
    prompt.setWidth(W - 2 * margin);
    m_ui->TxtPrompt->setGeometry(prompt);

    const int h = TwipsToPixels(kButtonTwips.height(), dpi_y);
    const int top = TwipsToPixels(kButtonTopTwips, dpi_y);
    if (request.two_buttons) {
        const int ok_left = W / 2 - w - TwipsToPixels(kMsgboxButtonGapTwips / 2, dpi_x);
        m_ui->CmdOK->setGeometry(ok_left, top, w, h);
        m_ui->CmdNO->setGeometry(ok_left + w + TwipsToPixels(kMsgboxButtonGapTwips, dpi_x), top, w, h);
        m_ui->CmdNO->show();
    } else {
        m_ui->CmdOK->setGeometry(W / 2 - w / 2, top, w, h);
        m_ui->CmdNO->hide();
    }
}

void FrmMsgbox::CmdOK_Click() {
    MessageRequest().result = kResultFirstButton;
    accept();
}

void FrmMsgbox::CmdNO_Click() {
    MessageRequest().result = kResultSecondButton;
    accept();
}

} // namespace tolbe::app
