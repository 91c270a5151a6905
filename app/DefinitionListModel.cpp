#include "app/DefinitionListModel.h"

void CDefinitionListModel::SetRows(std::vector<CDefinitionRow> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

int CDefinitionListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CDefinitionListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CDefinitionListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const CDefinitionRow& row = Row(index.row());
    switch (index.column()) {
    case 0:
        return row.name.ToQString();
    case 1:
        return row.type.ToQString();
    case 2:
        return row.minimumSize.ToQString();
    case 3:
        return row.minimumCount.ToQString();
    default:
        return {};
    }
}

QVariant CDefinitionListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    static const char* const titles[kColumnCount] = {"Generator", "Type", "Minimum Size", "Minimum Count"};
    return section >= 0 && section < kColumnCount ? QString::fromLatin1(titles[section]) : QVariant();
}
