#pragma once

#include "db/Database.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QTableView;
class QWheelEvent;

namespace tolbe::app {

class RecordsetModel;

// The search result grid: one code set a row, the current row the one a slot takes. It shows the
// device, brand and model (the code set's numbers and date stay in the result, no column a reader
// could wander into). The mouse wheel moves the current row by one, the right button makes the
// row under the pointer current (over the header: the top visible row), the columns keep their
// widths as the grid is resized, and while it has the focus a frame marks the current row and
// the grid itself, so a focused empty grid shows it too.
class CodeGrid : public QObject {
    Q_OBJECT
public:
    // Column of each value in a result row (of the recordset; the grid shows device, brand, model).
    enum Column { kSourceID = 0, kSetOfCodeID = 1, kDevice = 2, kBrand = 3, kModel = 4, kCodeDate = 5 };

    explicit CodeGrid(QTableView* view);

    // Shows a new result; its first row becomes current.
    void Show(std::shared_ptr<const db::DbRecordset> rs);
    const db::DbRecordset* Recordset() const { return m_rs.get(); }
    RecordsetModel* Model() const { return m_model; }
    int RowCount() const;
    int CurrentRow() const;
    // The value at the current row; throws DbError without a result.
    const db::DbValue& Current(Column column) const;
    // What a screen reader says for a row: device, brand and model by `format` ("%1 %2 %3").
    QString RowText(int row, const QString& format) const;
    // From the grid's own width W (frame and scroll bar included, so they do not jump when the
    // scroll bar comes): device 1400 twips, brand W/3, model 2W/3 - 1400 - 600 twips.
    void SetColumnWidths();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void MouseUp(Qt::MouseButton button, const QPoint& pos);
    bool Wheel(QWheelEvent* event);

    QTableView* m_view;
    QObject* m_viewport;       // where the rows are clicked and wheeled
    QObject* m_headerViewport; // where the header is clicked
    RecordsetModel* m_model;
    std::shared_ptr<const db::DbRecordset> m_rs;
};

} // namespace tolbe::app
