#pragma once

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class FrmFinish;
}
class QLabel;

namespace tolbe::app {

// The window that shows the finish picture for a moment after a successful download.
class FrmFinish : public QDialog {
    Q_OBJECT

public:
    explicit FrmFinish(QWidget* parent = nullptr);
    ~FrmFinish() override;

    // Names the window and its picture in the language at `LangBase`: a screen reader says that
    // the remote was programmed when the window comes, as a seeing user reads it off the picture.
    // With `slot` ("TV"), the line under the picture, the title and the name say which slot.
    void SayProgrammed(int LangBase, const QString& slot = {});

private:
    std::unique_ptr<Ui::FrmFinish> m_ui;
    QLabel* m_labSlot = nullptr;
};

} // namespace tolbe::app
