#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <memory>

class QPlainTextEdit;
class QPushButton;

namespace Ui {
class FrmMsgbox;
}

namespace tolbe::app {

// What the next message box shows and how the last one was closed. One per process: ShowMessage
// fills it, FrmMsgbox reads it when it loads and writes the result when a button closes it.
struct MessageBoxRequest {
    QString title;
    QString prompt;
    QString first_caption;
    QString second_caption;
    bool two_buttons = false;
    // 1: the first button closed the box, 7: the second. Closing by the frame leaves the
    // previous value; 0 before any box was answered.
    std::int32_t result = 0;
};
MessageBoxRequest& MessageRequest();

inline constexpr std::int32_t kResultFirstButton = 1;
inline constexpr std::int32_t kResultSecondButton = 7;

// Design of the box in twips (1440 to the inch).
inline constexpr int kMsgboxWidthTwips = 5400;
inline constexpr int kMsgboxHeightTwips = 2295;
inline constexpr int kMsgboxButtonGapTwips = 360; // between the two buttons, centred on the window

// The program's own message box, whose button captions come from its caller.
class FrmMsgbox : public QDialog {
    Q_OBJECT

public:
    // Loads the box from MessageRequest(): texts, buttons and their places.
    explicit FrmMsgbox(QWidget* parent = nullptr);
    ~FrmMsgbox() override;

    QPlainTextEdit* TxtPrompt() const;
    QPushButton* CmdOK() const;
    QPushButton* CmdNO() const;

private:
    void Form_Load();
    void CmdOK_Click();
    void CmdNO_Click();

    std::unique_ptr<Ui::FrmMsgbox> m_ui;
};

} // namespace tolbe::app
