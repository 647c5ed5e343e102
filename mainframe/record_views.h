#pragma once

#include <cstdint>

namespace tw {

struct RecordInfo;

/// What the record pipeline tells the windows that show live records: the record lists,
/// the side panel's recent list and the two players. The user interface implements it;
/// without windows LogRecordViews writes a log line instead.
///
/// Threads: every call comes on the UI thread (the pipeline posts them there).
class RecordViews
{
public:
    virtual ~RecordViews() = default;

    /// A record joined the live index: while the live records are shown (no archive open),
    /// insert it into the list of its type and the list of all records and repaint them.
    virtual void recordAdded(const RecordInfo& info) = 0;
    /// The side panel's AddRecentRecord: the record becomes its current one; the panel
    /// redraws and saves its list.
    virtual void addRecentRecord(std::uint32_t startTime) = 0;
    /// The record's file is about to be replaced by its converted audio: a player that has
    /// it open stops and closes it. True when one did (it then hears reopenRecord).
    virtual bool releaseRecord(std::uint32_t startTime) = 0;
    /// The record's file was replaced (or kept, when that failed): a player that released
    /// it opens it again when it is still its current record.
    virtual void reopenRecord(std::uint32_t startTime) = 0;
};

} // namespace tw
