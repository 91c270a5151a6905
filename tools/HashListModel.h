#pragma once
// The hash calculator's rows: a file, the algorithm chosen when it was added, and its hash once
// the worker has it. Rows are only ever appended, so a row's index is its id for good; the list
// holds tens of thousands of rows cheaply. A Qt Core item model: the window's list shows it.

#include "support/KSError.h"

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <vector>

class CHashListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kColumnFile, kColumnType, kColumnValue, kColumnCheck, kColumnCount };
    // What a row checked against a checksum file came to: its hash matched, differed, or the file
    // was missing or could not be read.
    enum class Check { None, Pending, Ok, Failed, Missing, Unreadable, kCount };

    static inline const QString kPendingText = QStringLiteral("...");
    static inline const QString kErrorText = QStringLiteral("[Error]");

    struct Row {
        QString path;
        // Index into kHashKinds.
        int kind = 0;
        // "..." while pending, then the hash or "[Error]".
        QString value = kPendingText;
        bool done = false;
        bool succeeded = false;
        // Why a failed row has no hash (no failure when the reason is unknown).
        CKSError failure;
        // The hash a checksum file expects (empty for an ordinary row).
        QString expected;
        Check check = Check::None;
    };

    explicit CHashListModel(QObject* parent = nullptr);

    // Appends one row per path, all of one algorithm; expected (when given) holds one hash per
    // path. Answers the id of the first new row.
    std::uint32_t Append(const QStringList& paths, int kind, const QStringList& expected = {});
    // A row's result; false for an unknown row or one that is done already.
    bool SetResult(std::uint32_t row, bool succeeded, const QString& hash, const CKSError& failure = {});

    const Row& At(std::uint32_t row) const { return m_rows[row]; }
    std::uint32_t Count() const { return static_cast<std::uint32_t>(m_rows.size()); }
    std::uint32_t Pending() const { return m_pending; }
    int CheckedOk() const { return CheckedAs(Check::Ok); }
    // Rows whose file was hashed and differed from the hash expected.
    int CheckedFailed() const { return CheckedAs(Check::Failed); }
    int CheckedAs(Check check) const { return m_checked[static_cast<std::size_t>(check)]; }
    bool AnyChecked() const { return m_anyChecked; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<Row> m_rows;
    std::uint32_t m_pending = 0;
    std::array<int, static_cast<std::size_t>(Check::kCount)> m_checked{};
    bool m_anyChecked = false;
};

// The text of a check result ("OK", "FAILED", "MISSING", "UNREADABLE", "..." or nothing).
QString CheckText(CHashListModel::Check check);
