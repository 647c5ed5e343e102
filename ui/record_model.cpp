#include "ui/record_model.h"

#include <algorithm>

#include <QThread>

#include "records/record_index.h"
#include "ui/partner_directory.h"

namespace tw {
namespace {

// Rows on screen are few; the cache only has to hold them and their neighbours.
constexpr std::size_t kCacheLimit = 2048;

const char* const kHeaders[RecordModel::ColumnCount] = {
    "", "", "", "Skype Name", "Full Name", "Time", "Length", "Annotation"};

} // namespace

QString RecordTimeColumnText(std::uint32_t startTime)
{
    // The same text the index searches, so what the user reads is what the search finds.
    return QString::fromStdString(RecordTimeText(static_cast<std::time_t>(startTime)));
}

RecordModel::RecordModel(QObject* parent) : QAbstractTableModel(parent)
{}

void RecordModel::setIndex(const CRecordIndex* index)
{
    beginResetModel();
    m_index = index;
    m_keys.clear();
    m_cache.clear();
    m_rowsIndexed = false;
    endResetModel();
}

void RecordModel::setRecords(std::vector<std::uint32_t> startTimes)
{
    if (QThread::currentThread() == thread()) {
        applyRecords(std::move(startTimes));
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, keys = std::move(startTimes)]() mutable { applyRecords(std::move(keys)); },
        Qt::QueuedConnection);
}

void RecordModel::applyRecords(std::vector<std::uint32_t> ascending)
{
    beginResetModel();
    std::reverse(ascending.begin(), ascending.end());
    m_keys = std::move(ascending);
    m_cache.clear();
    m_rowsIndexed = false;
    endResetModel();
    emit refilled();
}

int RecordModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_keys.size());
}

int RecordModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

std::uint32_t RecordModel::keyAt(int row) const
{
    return row >= 0 && row < rowCount() ? m_keys[static_cast<std::size_t>(row)] : 0;
}

int RecordModel::rowOf(std::uint32_t startTime) const
{
    if (!m_rowsIndexed) {
        m_rowOfKey.clear();
        m_rowOfKey.reserve(m_keys.size());
        for (std::size_t i = 0; i < m_keys.size(); ++i)
            m_rowOfKey.emplace(m_keys[i], static_cast<int>(i));
        m_rowsIndexed = true;
    }
    const auto it = m_rowOfKey.find(startTime);
    return it == m_rowOfKey.end() ? -1 : it->second;
}

std::optional<RecordInfo> RecordModel::record(int row) const
{
    const std::uint32_t key = keyAt(row);
    if (!m_index || key == 0)
        return std::nullopt;
    if (const auto it = m_cache.find(key); it != m_cache.end())
        return it->second;
    std::optional<RecordInfo> info = m_index->FindRecord(key);
    if (info) {
        if (m_cache.size() >= kCacheLimit)
            m_cache.clear();
        m_cache.emplace(key, *info);
    }
    return info;
}

std::uint32_t RecordModel::partnerStatus(const RecordInfo& info) const
{
    std::uint32_t status = 0;
    if (m_directory)
        m_directory->lookupUser(info.SkypeName(), nullptr, &status);
    return status;
}

QString RecordModel::text(const RecordInfo& info, int column) const
{
    switch (column) {
    case ColSkypeName: {
        QString name = QString::fromStdString(info.SkypeName());
        const std::string second = info.SecondText();
        if (!second.empty())
            name += " (" + QString::fromStdString(second) + ")";
        return name;
    }
    case ColFullName: {
        // The contact's name as Skype knows it now; the stored one while there is no link.
        if (!m_directory)
            return QString::fromStdString(info.FullName());
        std::string fullName;
        m_directory->lookupUser(info.SkypeName(), &fullName, nullptr);
        return QString::fromStdString(fullName);
    }
    case ColTime:
        return RecordTimeColumnText(info.startTime);
    case ColLength:
        return QString::fromStdString(
            RecordLengthText(std::int64_t(info.endTime) - std::int64_t(info.startTime)));
    case ColAnnotation:
        return QString::fromStdString(info.Annotation());
    default:
        return {};
    }
}

QVariant RecordModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        const auto info = record(index.row());
        if (!info)
            return {};
        if (role == Qt::ToolTipRole && index.column() == ColAnnotation)
            return text(*info, ColAnnotation);
        return role == Qt::DisplayRole ? QVariant(text(*info, index.column())) : QVariant();
    }
    if (role == Qt::TextAlignmentRole && index.column() == ColLength)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant RecordModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < ColumnCount)
        return QString(kHeaders[section]);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void RecordModel::refreshKey(std::uint32_t startTime)
{
    m_cache.erase(startTime);
    const int row = rowOf(startTime);
    if (row >= 0)
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void RecordModel::insertKey(std::uint32_t startTime)
{
    if (rowOf(startTime) >= 0)
        return;
    beginInsertRows({}, 0, 0);
    m_keys.insert(m_keys.begin(), startTime);
    m_rowsIndexed = false;
    endInsertRows();
}

void RecordModel::removeRows(const std::vector<int>& rows)
{
    std::vector<int> sorted = rows;
    std::sort(sorted.rbegin(), sorted.rend());
    if (sorted.size() > 64) {
        // Many rows at once (a whole list): one reset instead of a shift per row.
        std::vector<bool> gone(m_keys.size(), false);
        for (int row : sorted)
            if (row >= 0 && row < rowCount())
                gone[std::size_t(row)] = true;
        beginResetModel();
        std::vector<std::uint32_t> kept;
        kept.reserve(m_keys.size());
        for (std::size_t i = 0; i < m_keys.size(); ++i)
            if (!gone[i])
                kept.push_back(m_keys[i]);
        m_keys = std::move(kept);
        m_cache.clear();
        m_rowsIndexed = false;
        endResetModel();
        return;
    }
    for (int row : sorted) {
        if (row < 0 || row >= rowCount())
            continue;
        beginRemoveRows({}, row, row);
        m_cache.erase(m_keys[static_cast<std::size_t>(row)]);
        m_keys.erase(m_keys.begin() + row);
        m_rowsIndexed = false;
        endRemoveRows();
    }
}

Qt::SortOrder RecordModel::sortByColumn(int column)
{
    if (column < 0 || column >= ColumnCount)
        return Qt::DescendingOrder;
    const bool ascending = m_ascending[column];
    m_ascending[column] = !ascending;

    // Each row's sort value is read once, not once per comparison.
    struct Entry
    {
        std::uint32_t key;
        std::int64_t number;
        QString text;
        bool found;
    };
    std::vector<Entry> entries;
    entries.reserve(m_keys.size());
    for (std::size_t i = 0; i < m_keys.size(); ++i) {
        Entry e{m_keys[i], 0, {}, false};
        if (const auto info = record(static_cast<int>(i))) {
            e.found = true;
            switch (column) {
            case ColLock:
                e.number = (info->flags & RECFLAG_LOCKED) != 0;
                break;
            case ColRead:
                e.number = (info->flags & RECFLAG_PLAYED) != 0;
                break;
            case ColStatus:
                e.number = partnerStatus(*info);
                break;
            case ColSkypeName:
                e.text = QString::fromStdString(info->SkypeName());
                break;
            case ColFullName:
                e.text = QString::fromStdString(info->FullName());
                break;
            case ColTime:
                e.number = info->startTime;
                break;
            case ColLength:
                e.number = std::int64_t(info->endTime) - std::int64_t(info->startTime);
                break;
            default:
                e.text = QString::fromStdString(info->Annotation());
                break;
            }
        }
        entries.push_back(std::move(e));
    }
    const bool numeric = column != ColSkypeName && column != ColFullName && column != ColAnnotation;
    auto less = [&](const Entry& a, const Entry& b) {
        // Rows whose record is gone keep their place among themselves and go first, which
        // keeps the order a strict one.
        if (!a.found || !b.found)
            return !a.found && b.found;
        const int c = numeric ? (a.number < b.number   ? -1
                                 : a.number > b.number ? 1
                                                       : 0)
                              : QString::localeAwareCompare(a.text, b.text);
        return ascending ? c < 0 : c > 0;
    };
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    std::vector<std::uint32_t> beforeKeys;
    for (const QModelIndex& old : before)
        beforeKeys.push_back(keyAt(old.row()));
    std::stable_sort(entries.begin(), entries.end(), less);
    m_rowsIndexed = false;
    for (std::size_t i = 0; i < entries.size(); ++i)
        m_keys[i] = entries[i].key;
    QModelIndexList after;
    for (int i = 0; i < before.size(); ++i)
        after.append(index(rowOf(beforeKeys[std::size_t(i)]), before[i].column()));
    changePersistentIndexList(before, after);
    emit layoutChanged();
    return ascending ? Qt::AscendingOrder : Qt::DescendingOrder;
}

} // namespace tw
