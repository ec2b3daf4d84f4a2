#pragma once

#include "db/Database.h"

#include <QAbstractTableModel>

#include <functional>
#include <memory>
#include <vector>

namespace tolbe::app {

// Shows a recordset in a view: every column in order (or the chosen ones), headed by its name or alias.
class RecordsetModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RecordsetModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    // Binds a new recordset (or none); views reset.
    void SetRecordset(std::shared_ptr<const db::DbRecordset> rs);
    const db::DbRecordset* Recordset() const { return m_rs.get(); }
    // Shows only these recordset columns, in this order (all of them when empty); the model's
    // column c is recordset column shown[c].
    void ShowColumns(std::vector<int> shown);
    // What a screen reader says for any cell of a row (the whole row, so moving the current row
    // announces the code set); without it a cell is read as its text.
    void SetRowAnnouncer(std::function<QString(int row)> announce) { m_announce = std::move(announce); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::shared_ptr<const db::DbRecordset> m_rs;
    std::function<QString(int row)> m_announce;
    std::vector<int> m_shown;

    int Column(int column) const;
};

} // namespace tolbe::app
