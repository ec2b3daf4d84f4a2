#pragma once

#include <QDialog>
#include <QString>

#include <memory>

class QLabel;
class QPushButton;

namespace Ui {
class frmAbout;
}

namespace tolbe::app {

// "Version:" followed by major.minor.patch, each as plain decimal: "Version:2.0.9".
QString VersionLine(const QString& label, int major, int minor, int patch);

// The About window: caption, version of this build, copyright line, OK.
class frmAbout : public QDialog {
    Q_OBJECT

public:
    frmAbout(int lang_base, QWidget* parent = nullptr);
    ~frmAbout() override;

    QLabel* LabVer() const;
    QLabel* LabCopyright() const;
    QPushButton* CmdOK() const;

private:
    void Form_Load(int lang_base);

    std::unique_ptr<Ui::frmAbout> m_ui;
};

// Shows the About window of `parent` without making it modal, raising it when it is already open.
frmAbout* ShowAboutWindow(QWidget* parent, int lang_base);

} // namespace tolbe::app
