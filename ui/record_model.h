#pragma once

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include <QAbstractTableModel>

#include "records/record_info.h"
#include "records/record_list_sink.h"

namespace tw {

class CRecordIndex;
class PartnerDirectory;

/// One record list's rows: only the records' start times (their keys in the index), newest
/// first; every text and icon is read from the index when a row is drawn, so 100 000 rows
/// cost 400 KB, not 100 000 widgets. A small cache keeps the rows on screen from being
/// looked up again on every paint.
///
/// Threads: setRecords() may come from the filter's refill thread (it is handed to the UI
/// thread); everything else runs on the UI thread.
class RecordModel : public QAbstractTableModel, public RecordListSink
{
    Q_OBJECT

public:
    enum Column {
        ColLock = 0,
        ColRead,
        ColStatus,
        ColSkypeName,
        ColFullName,
        ColTime,
        ColLength,
        ColAnnotation,
        ColumnCount
    };

    explicit RecordModel(QObject* parent = nullptr);

    /// The index the rows belong to (the live one or an open archive's); may be null.
    void setIndex(const CRecordIndex* index);
    const CRecordIndex* recordIndex() const { return m_index; }
    void setDirectory(PartnerDirectory* directory) { m_directory = directory; }

    void setRecords(std::vector<std::uint32_t> startTimes) override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    std::uint32_t keyAt(int row) const;
    int rowOf(std::uint32_t startTime) const;
    /// The record of a row, or nothing when the index no longer has it.
    std::optional<RecordInfo> record(int row) const;
    /// The cell text of a column (also what the delegate draws).
    QString text(const RecordInfo& info, int column) const;
    /// The partner's status code now (0 when unknown).
    std::uint32_t partnerStatus(const RecordInfo& info) const;

    /// The record changed in the index: its row is read again and redrawn.
    void refreshKey(std::uint32_t startTime);
    void removeRows(const std::vector<int>& rows);
    /// A new record goes to the top (the newest first).
    void insertKey(std::uint32_t startTime);
    /// Sorts by a column the way a header click does: each column remembers its direction,
    /// the first click sorts descending and each further click reverses. Answers the order
    /// used.
    Qt::SortOrder sortByColumn(int column);

signals:
    /// The rows were replaced by a fill.
    void refilled();

private:
    void applyRecords(std::vector<std::uint32_t> ascending);

    const CRecordIndex* m_index = nullptr;
    PartnerDirectory* m_directory = nullptr;
    std::vector<std::uint32_t> m_keys;
    bool m_ascending[ColumnCount] = {};
    mutable std::unordered_map<std::uint32_t, RecordInfo> m_cache;
    // Row of each key, made when first asked after the rows changed: actions on many
    // selected rows look their keys up once each.
    mutable std::unordered_map<std::uint32_t, int> m_rowOfKey;
    mutable bool m_rowsIndexed = false;
};

/// The Time column: the locale's short date and time of the start, in lower case.
QString RecordTimeColumnText(std::uint32_t startTime);

} // namespace tw
