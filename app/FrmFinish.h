#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class FrmFinish;
}

namespace tolbe::app {

// The window that shows the finish picture for a moment after a successful download.
class FrmFinish : public QDialog {
    Q_OBJECT

public:
    explicit FrmFinish(QWidget* parent = nullptr);
    ~FrmFinish() override;

    // Names the window and its picture in the language at `LangBase`: a screen reader says that
    // the remote was programmed when the window comes, as a seeing user reads it off the picture.
    void SayProgrammed(int LangBase);

private:
    std::unique_ptr<Ui::FrmFinish> m_ui;
};

} // namespace tolbe::app
