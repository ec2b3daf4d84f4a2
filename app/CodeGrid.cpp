#include "app/CodeGrid.h"

#include "app/RecordsetModel.h"
#include "app/Twips.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QTableView>
#include <QWheelEvent>

#include <algorithm>

namespace tolbe::app {

CodeGrid::CodeGrid(QTableView* view) : QObject(view), m_view(view), m_model(new RecordsetModel(this)) {
    m_view->setModel(m_model);
    m_view->verticalHeader()->hide();
    m_view->setMouseTracking(true);
    m_view->viewport()->installEventFilter(this);
}

void CodeGrid::Show(std::shared_ptr<const db::DbRecordset> rs) {
    // The view lets go of the old result before it is released.
    m_model->SetRecordset(nullptr);
    m_rs = std::move(rs);
    m_model->SetRecordset(m_rs);
    if (RowCount() > 0) m_view->setCurrentIndex(m_model->index(0, kDevice));
    SetColumnWidths();
}

int CodeGrid::RowCount() const {
    return m_model->rowCount();
}

int CodeGrid::CurrentRow() const {
    return m_view->currentIndex().row();
}

const db::DbValue& CodeGrid::Current(Column column) const {
    if (m_rs == nullptr) throw db::DbError("no search result");
    return m_rs->ValueAt(CurrentRow(), column);
}

QString CodeGrid::RowText(int row, const QString& format) const {
    if (m_rs == nullptr || row < 0 || row >= m_rs->RecordCount()) return {};
    const auto cell = [&](int column) { return QString::fromStdString(m_rs->ValueAt(row, column).Text()); };
    return format.arg(cell(kDevice), cell(kBrand), cell(kModel));
}

void CodeGrid::SetColumnWidths() {
    if (m_model->columnCount() <= kCodeDate) return;
    const int W = m_view->viewport()->width();
    const int dpi = m_view->logicalDpiX();
    const int device = TwipsToPixels(1400, dpi);
    m_view->setColumnHidden(kSourceID, true);
    m_view->setColumnHidden(kSetOfCodeID, true);
    m_view->setColumnWidth(kDevice, device);
    m_view->setColumnWidth(kBrand, W / 3);
    m_view->setColumnWidth(kModel, std::max(40, 2 * W / 3 - device - TwipsToPixels(600, dpi)));
    m_view->setColumnHidden(kCodeDate, true);
}

void CodeGrid::MouseUp(Qt::MouseButton button, const QPoint& pos) {
    if (button != Qt::RightButton) return;
    // The row under the pointer, as the view itself lays rows out.
    const int row = m_view->rowAt(pos.y());
    if (row < 0) return;
    const int column = std::max(int(kDevice), m_view->currentIndex().column());
    m_view->setCurrentIndex(m_model->index(row, column));
}

bool CodeGrid::Wheel(QWheelEvent* event) {
    // One notch with no key or button held moves the current row by one, as the arrow keys do.
    if (event->modifiers() != Qt::NoModifier || event->buttons() != Qt::NoButton) return false;
    const int delta = event->angleDelta().y();
    if (delta != 120 && delta != -120) return false;
    const int rows = m_model->rowCount();
    if (rows == 0) return true;
    const int next = std::clamp(CurrentRow() + (delta < 0 ? 1 : -1), 0, rows - 1);
    const int column = std::max(int(kDevice), m_view->currentIndex().column());
    m_view->setCurrentIndex(m_model->index(next, column));
    return true;
}

bool CodeGrid::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_view->viewport()) {
        if (event->type() == QEvent::Wheel && Wheel(static_cast<QWheelEvent*>(event))) return true;
        if (event->type() == QEvent::MouseButtonRelease) {
            auto* me = static_cast<QMouseEvent*>(event);
            MouseUp(me->button(), me->position().toPoint());
        }
        if (event->type() == QEvent::Resize) SetColumnWidths();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tolbe::app
