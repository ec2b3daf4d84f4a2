#pragma once

#include <QObject>
#include <QTimer>

#include <cstdint>

namespace Ui {
class FrmSASel;
}
class QTableView;

namespace tolbe::app {

class RecordsetModel;

// What the main window shows a keyboard user and tells a screen reader beyond its controls' names:
// the grid lists only the columns it shows, frames its current row (and itself) while it has the
// focus and is named with its result count; the fields and the device list show a focus ring; a
// changed result count is said once, when the searches stop coming.
class MainWindowAccess final : public QObject {
    Q_OBJECT
public:
    // Quiet time after a search before its count is said: typing runs a search per key.
    static constexpr int kPause_ms = 1000;

    // `lang_base` is read whenever a text is needed (it is set after the window is built).
    MainWindowAccess(Ui::FrmSASel& ui, RecordsetModel& model, const std::int16_t& lang_base, QObject* parent);

    // The count said last (-1 before the first search has settled).
    int AnnouncedCount() const { return m_announced; }

private:
    void OnResults();
    void SayCount();
    QString T(int k) const;

    Ui::FrmSASel& m_ui;
    RecordsetModel& m_model;
    const std::int16_t& m_langBase;
    QTimer m_pause;
    int m_announced = -1;
};

// Column widths of the result grid from the grid's own width W (frame and scroll bar included, so
// they do not jump when the scroll bar comes): device 1400 twips, brand W/3, model
// 2W/3 - 1400 - 600 twips; the last 600 twips stay free.
void SetCodeGridColumnWidths(QTableView* grid);

} // namespace tolbe::app
