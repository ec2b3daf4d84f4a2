#pragma once

#include "app/Twips.h"

#include <QDialog>
#include <QRect>
#include <QSize>
#include <QString>

#include <memory>

namespace Ui {
class FrmProgressBar;
}
class QMessageBox;

namespace tolbe::app {

// The small window that counts the blocks of a download. Shown without being modal. It cannot be
// put away while the sound plays: Esc or its close box asks whether to stop the download.
class FrmProgressBar : public QDialog {
    Q_OBJECT

public:
    explicit FrmProgressBar(QWidget* parent = nullptr);
    ~FrmProgressBar() override;

    void SetMaximum(int maximum);
    int Maximum() const;
    void SetValue(int value);
    int Value() const;
    // One more block sent; the value never passes the maximum.
    void AddOne();

    // Number of the text LabDev carries at design time (158, "Downloading"); -1 when it has none.
    int CaptionNumber() const;
    // Sets LabDev to the slot's device name, a blank and that text in the language `LangBase`,
    // e.g. "TV Downloading". Without the text only the device name is shown.
    void SetDeviceCaption(const QString& device_name, int LangBase);
    void SetCaption(const QString& caption);
    QString Caption() const;

    // The open "Stop the download?" question, null when none.
    QMessageBox* StopQuestion() const;

signals:
    // The user chose to stop the download.
    void StopRequested();

protected:
    // Esc and the close box come here: instead of hiding, ask.
    void reject() override;

private:
    void NameTheBar();

    std::unique_ptr<Ui::FrmProgressBar> m_ui;
    int m_langBase = 1000;
};

} // namespace tolbe::app
