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

private:
    std::unique_ptr<Ui::FrmFinish> m_ui;
};

} // namespace tolbe::app
