#pragma once
// The definition list's rows: one per section of the configuration file, in file order, with the
// four columns the main window shows. A Qt Core item model: the main window's list shows it.

#include "app/DefinitionRows.h"

#include <QAbstractTableModel>

#include <vector>

class CDefinitionListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumnCount = 4;

    using QAbstractTableModel::QAbstractTableModel;

    void SetRows(std::vector<CDefinitionRow> rows);
    const CDefinitionRow& Row(int row) const { return m_rows.at(static_cast<std::size_t>(row)); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<CDefinitionRow> m_rows;
};
