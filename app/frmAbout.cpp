#include "app/frmAbout.h"

#include "app/LocaliseForm.h"
#include "ui_frmAbout.h"

namespace tolbe::app {

QString VersionLine(const QString& label, int major, int minor, int patch) {
    return label + QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(patch);
}

frmAbout::frmAbout(int lang_base, QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::frmAbout>()) {
    m_ui->setupUi(this);
    connect(m_ui->CmdOK, &QPushButton::clicked, this, &QDialog::close);
    Form_Load(lang_base);
}

frmAbout::~frmAbout() = default;

QLabel* frmAbout::LabVer() const {
    return m_ui->LabVer;
}
QLabel* frmAbout::LabCopyright() const {
    return m_ui->LabCopyright;
}
QPushButton* frmAbout::CmdOK() const {
    return m_ui->CmdOK;
}

void frmAbout::Form_Load(int lang_base) {
    SetCaptionFromTag(this, lang_base);
    LocaliseForm(this, lang_base);
    m_ui->LabVer->setText(
        VersionLine(m_ui->LabVer->text(), TOLBE_VERSION_MAJOR, TOLBE_VERSION_MINOR, TOLBE_VERSION_PATCH));
    // An empty copyright line (English, Chinese) takes no room.
    m_ui->LabCopyright->setVisible(!m_ui->LabCopyright->text().isEmpty());
}

frmAbout* ShowAboutWindow(QWidget* parent, int lang_base) {
    auto* about = parent ? parent->findChild<frmAbout*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (!about) {
        about = new frmAbout(lang_base, parent);
        about->setAttribute(Qt::WA_DeleteOnClose);
    }
    about->show();
    about->raise();
    about->activateWindow();
    return about;
}

} // namespace tolbe::app
