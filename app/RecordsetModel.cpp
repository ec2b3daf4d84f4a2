#include "app/RecordsetModel.h"

namespace tolbe::app {

void RecordsetModel::SetRecordset(std::shared_ptr<const db::DbRecordset> rs) {
    beginResetModel();
    m_rs = std::move(rs);
    endResetModel();
}

int RecordsetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_rs ? 0 : m_rs->RecordCount();
}

int RecordsetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_rs ? 0 : m_rs->ColumnCount();
}

QVariant RecordsetModel::data(const QModelIndex& index, int role) const {
    if (!m_rs || !index.isValid()) return {};
    if (role == Qt::AccessibleTextRole && m_announce) return m_announce(index.row());
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    return QString::fromStdString(m_rs->ValueAt(index.row(), index.column()).Text());
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    if (!m_rs || section < 0 || section >= m_rs->ColumnCount()) return {};
    return QString::fromStdString(m_rs->ColumnName(section));
}

} // namespace tolbe::app
