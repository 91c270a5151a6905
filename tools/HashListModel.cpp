#include "tools/HashListModel.h"

#include "tools/HashKinds.h"

#include <cerrno>

CHashListModel::CHashListModel(QObject* parent) : QAbstractTableModel(parent) {}

std::uint32_t CHashListModel::Append(const QStringList& paths, int kind, const QStringList& expected) {
    const auto first = static_cast<std::uint32_t>(m_rows.size());
    if (paths.isEmpty()) {
        return first;
    }
    beginInsertRows(QModelIndex(), static_cast<int>(first), static_cast<int>(first + paths.size() - 1));
    m_rows.reserve(m_rows.size() + static_cast<std::size_t>(paths.size()));
    for (qsizetype i = 0; i < paths.size(); ++i) {
        Row row;
        row.path = paths[i];
        row.kind = kind;
        if (i < expected.size()) {
            row.expected = expected[i];
            row.check = Check::Pending;
            m_anyChecked = true;
        }
        m_rows.push_back(std::move(row));
    }
    m_pending += static_cast<std::uint32_t>(paths.size());
    endInsertRows();
    return first;
}

bool CHashListModel::SetResult(std::uint32_t id, bool succeeded, const QString& hash,
                               const CKSError& failure) {
    if (id >= m_rows.size() || m_rows[id].done) {
        return false;
    }
    Row& row = m_rows[id];
    row.done = true;
    row.succeeded = succeeded;
    row.value = succeeded ? hash : kErrorText;
    row.failure = succeeded ? CKSError() : failure;
    --m_pending;
    if (row.check == Check::Pending) {
        if (succeeded) {
            row.check = row.expected.compare(hash, Qt::CaseInsensitive) == 0 ? Check::Ok : Check::Failed;
        } else {
            row.check = failure.Code() == ENOENT ? Check::Missing : Check::Unreadable;
        }
        ++m_checked[static_cast<std::size_t>(row.check)];
    }
    const int r = static_cast<int>(id);
    emit dataChanged(index(r, kColumnValue), index(r, kColumnCheck));
    return true;
}

int CHashListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CHashListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CHashListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_rows.size()) {
        return {};
    }
    const Row& row = m_rows[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case kColumnFile:
            return row.path;
        case kColumnType:
            return QString::fromUtf16(kHashKinds[static_cast<std::size_t>(row.kind)].shownName);
        case kColumnValue:
            return row.value;
        case kColumnCheck:
            return CheckText(row.check);
        default:
            return {};
        }
    }
    if (role == Qt::ToolTipRole) {
        if (index.column() == kColumnFile) {
            return row.path;
        }
        if (index.column() == kColumnValue && row.done && !row.succeeded && row.failure.Failed()) {
            return QString::fromStdU16String(row.failure.Reason());
        }
        if (index.column() == kColumnCheck && row.check != Check::None) {
            return QStringLiteral("Expected %1").arg(row.expected);
        }
    }
    return {};
}

QVariant CHashListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
    case kColumnFile:
        return QStringLiteral("File");
    case kColumnType:
        return QStringLiteral("Hash Type");
    case kColumnValue:
        return QStringLiteral("Hash Value");
    case kColumnCheck:
        return QStringLiteral("Check");
    default:
        return {};
    }
}

QString CheckText(CHashListModel::Check check) {
    switch (check) {
    case CHashListModel::Check::Pending:
        return CHashListModel::kPendingText;
    case CHashListModel::Check::Ok:
        return QStringLiteral("OK");
    case CHashListModel::Check::Failed:
        return QStringLiteral("FAILED");
    case CHashListModel::Check::Missing:
        return QStringLiteral("MISSING");
    case CHashListModel::Check::Unreadable:
        return QStringLiteral("UNREADABLE");
    default:
        return {};
    }
}
