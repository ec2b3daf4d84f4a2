#pragma once

#include <QColor>
#include <QObject>
#include <QUrl>

class QLabel;

namespace tolbe::app {

// Makes a label (the main window's LabEmail) the support contact link: the mouse over it turns its
// text pure blue, a click asks the desktop to open "mailto:" + the support address (a failure is not
// reported). The colour goes back to the palette's button-text colour only through ResetColour(),
// which the mouse over the areas given to ResetOnHover() calls.
class ContactLink : public QObject {
    Q_OBJECT

public:
    explicit ContactLink(QLabel* label); // owned by the label
    static constexpr QColor kHoverColour{0, 0, 255};

    static QUrl MailtoUrl();
    void ResetColour();
    // Mouse moves over `area` (the window background, the result grid's viewport) reset the colour.
    void ResetOnHover(QWidget* area);
    QColor Colour() const;
    // Opens "mailto:" + the support address (a click, or Space and Enter on the focused link).
    void LabEmail_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetColour(const QColor& colour);

    QLabel* m_label;
};

} // namespace tolbe::app
