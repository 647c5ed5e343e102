#pragma once

#include "mainframe/record_views.h"

namespace tw {

/// The record views of a run without windows: each change becomes an event log line, so a
/// headless run shows where its records went.
class LogRecordViews : public RecordViews
{
public:
    void recordAdded(const RecordInfo& info) override;
    void addRecentRecord(std::uint32_t startTime) override;
    bool releaseRecord(std::uint32_t startTime) override;
    void reopenRecord(std::uint32_t startTime) override;
};

} // namespace tw
