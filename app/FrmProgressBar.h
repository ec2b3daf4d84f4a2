#pragma once

#include <QDialog>
#include <QRect>
#include <QSize>
#include <QString>

#include <memory>

namespace Ui {
class FrmProgressBar;
}

namespace tolbe::app {

// Window sizes are given in twips, 1440 to the inch; pixels follow the screen's logical DPI.
constexpr int TwipsToPixels(int twips, int dpi) {
    return (twips * dpi + 720) / 1440;
}
constexpr QSize TwipsToPixels(QSize twips, int dpi_x, int dpi_y) {
    return {TwipsToPixels(twips.width(), dpi_x), TwipsToPixels(twips.height(), dpi_y)};
}
constexpr QRect TwipsToPixels(QRect twips, int dpi_x, int dpi_y) {
    return {TwipsToPixels(twips.x(), dpi_x), TwipsToPixels(twips.y(), dpi_y), TwipsToPixels(twips.width(), dpi_x),
            TwipsToPixels(twips.height(), dpi_y)};
}

// The small window that counts the blocks of a download. Shown without being modal.
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

private:
    std::unique_ptr<Ui::FrmProgressBar> m_ui;
};

} // namespace tolbe::app
