#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "records/record_arena.h"
#include "records/record_info.h"

namespace tw {

// The record index tree and its file "twkrdb.ndx".
//
// Memory: root -> years -> months -> days -> RecordInfo, every array sorted by key (records
// by start time). Each level carries the earliest start, the latest end and the byte total
// below it; an earliest start of 0 marks an empty group. The capacity numbers follow the
// historic growth rules (years 2 +2, months 12, days 31, records 16 +31) because they are
// stored in the file; the vectors themselves hold exactly the children.
//
// File, little-endian, no gaps: the 56-byte header, the year groups (40 bytes each), then
// depth first: for each year with children its month groups, for each such month its day
// groups, for each such day its records (872 bytes each). Each sibling array is written
// whole before the first of its members is descended into.

constexpr std::uint32_t kIndexVersion = 200;
constexpr const char* kIndexFileName = "twkrdb.ndx";

struct GroupStats
{
    std::uint32_t key = 0; ///< year, month 1-12 or day 1-31
    std::int32_t earliest = 0;
    std::int32_t latest = 0;
    std::uint64_t total = 0;
    std::uint32_t capacity = 0; ///< as stored; never smaller than the child count
};

/// A day's records. A loaded index keeps them in one block for the whole file (see
/// RecordArena); otherwise a std::vector.
using RecordVector = std::vector<RecordInfo, RecordAllocator<RecordInfo>>;

struct DayGroup
{
    GroupStats stats;
    RecordVector records;
};

struct MonthGroup
{
    GroupStats stats;
    std::vector<DayGroup> days;
};

struct YearGroup
{
    GroupStats stats;
    std::vector<MonthGroup> months;
};

struct IndexTree
{
    std::uint32_t version = kIndexVersion;
    std::int32_t earliest = 0;
    std::int32_t latest = 0;
    std::uint64_t total = 0;
    std::uint32_t capacity = 0; ///< of the year array
    std::uint32_t modified = 0;
    std::uint32_t created = 0;
    std::uint32_t changed = 0;
    std::vector<YearGroup> years;
};

/// Called for every record written by SaveIndexFile; may rewrite the entry that goes to the
/// file (the archive writes the paths of its copies). Not called for the live tree's copy.
using IndexRecordFilter = std::function<void(RecordInfo& entry)>;
/// Called before a day's records are written, with the day's year, month and day keys.
using IndexDayHook =
    std::function<void(std::uint32_t year, std::uint32_t month, std::uint32_t day)>;

/// Reads an index file. False (tree untouched) when it cannot be opened, is short, has
/// another version, or is inconsistent: counts larger than the capacity or than the bytes
/// left in the file, absurd capacities, keys out of range or out of order, unsorted records.
/// Never allocates more than the file's size justifies.
bool LoadIndexFile(const std::string& path, IndexTree& tree);

/// Sets earliest start, latest end and byte total of every group and of the root from the
/// records below them (an empty group: 0, 0, 0). Keys and capacities stay.
void SummariseIndexTree(IndexTree& tree);
/// The same for the one day, its month, its year and the root (after a change in that day).
void SummariseIndexPath(IndexTree& tree, YearGroup& year, MonthGroup& month, DayGroup& day);

/// Whether a tree read from disk can be trusted beyond its structure: every record plausible
/// (IsPlausibleRecordInfo) and starting within a day of the date its groups give, and every
/// group's and the root's earliest start, latest end and total as the records below say.
/// An index that fails is damaged: the caller rebuilds it from the files.
bool IsPlausibleIndexTree(const IndexTree& tree);

/// Writes the tree to path (created or emptied) and flushes it to the disk. The header
/// carries the tree's current modified flag. False on any failed write; the caller removes
/// the partial file.
bool WriteIndexFile(const std::string& path, const IndexTree& tree, const IndexDayHook& onDay = {},
                    const IndexRecordFilter& filter = {});

} // namespace tw
