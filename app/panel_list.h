#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tw {

/// "Does the record index know this record?" A record's key is its start time (seconds since
/// 1970, 32 bits). The record index implements it; tests give a set.
class RecordKeyLookup
{
public:
    virtual ~RecordKeyLookup() = default;
    virtual bool hasRecord(std::uint32_t startTime) const = 0;
};

/// The records shown in the side panel ("splist.ini", section "SPList").
struct PanelList
{
    std::vector<std::uint32_t> records; ///< start times, in list order
    int current = 0;                    ///< position of the current record, 0 .. size
};

/// Reads the list: Record1 .. Record<nCount>, skipping 0 and records the index does not know.
/// The position is kept within 0 .. the list's length. A missing or bad file is an empty list.
PanelList LoadPanelList(const std::string& path, const RecordKeyLookup& index);

/// Writes nCount, nRecordCur and Record1 .. Record<n>; keys of a longer earlier list stay.
bool SavePanelList(const std::string& path, const PanelList& list);

} // namespace tw
