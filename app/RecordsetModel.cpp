#include "app/RecordsetModel.h"

#include <algorithm>

namespace tolbe::app {

void RecordsetModel::SetRecordset(std::shared_ptr<const db::DbRecordset> rs) {
    beginResetModel();
    m_rs = std::move(rs);
    endResetModel();
}

void RecordsetModel::ShowColumns(std::vector<int> shown) {
    beginResetModel();
    m_shown = std::move(shown);
    endResetModel();
}

int RecordsetModel::Column(int column) const {
    if (m_shown.empty()) return column;
    return column >= 0 && column < static_cast<int>(m_shown.size()) ? m_shown[static_cast<std::size_t>(column)] : -1;
}

int RecordsetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_rs ? 0 : m_rs->RecordCount();
}

int RecordsetModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid() || !m_rs) return 0;
    if (m_shown.empty()) return m_rs->ColumnCount();
    const bool all_there = std::all_of(m_shown.begin(), m_shown.end(), [&](int c) { return c < m_rs->ColumnCount(); });
    return all_there ? static_cast<int>(m_shown.size()) : 0;
}

QVariant RecordsetModel::data(const QModelIndex& index, int role) const {
    if (!m_rs || !index.isValid()) return {};
    if (role == Qt::AccessibleTextRole && m_announce) return m_announce(index.row());
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    return QString::fromStdString(m_rs->ValueAt(index.row(), Column(index.column())).Text());
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    const int column = Column(section);
    if (!m_rs || column < 0 || column >= m_rs->ColumnCount()) return {};
    return QString::fromStdString(m_rs->ColumnName(column));
}

} // namespace tolbe::app
