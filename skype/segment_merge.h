#pragma once

#include <string>

namespace tw {

// A recording paused for hold goes on in new segment files after each resume; the segments of
// one side are joined, in order, into that side's accumulated file. The call handling decides
// on the UI thread which file accumulates (the first segment of a side becomes it), so the
// accumulated paths it keeps in the call are right at once; the joining itself runs later, on
// the record worker, in the order the segments were taken.

/// The files of one recording as the call held them when its segments were taken.
struct RecordFiles
{
    std::string outputSegment;
    std::string micSegment;
    std::string outputFile;
    std::string micFile;
};

/// One side's pending join: segment goes behind accumulated.
struct SegmentJoin
{
    std::string accumulated;
    std::string segment;
};

struct SegmentMergeJob
{
    SegmentJoin output;
    SegmentJoin mic;
};

/// UI thread: moves the segments out of files into a job and updates files the way the join
/// will leave the disk: a side without an accumulated file takes its segment's path; the
/// segment paths become empty.
SegmentMergeJob TakeSegments(RecordFiles& files);

/// Worker thread: joins one side. A missing segment is skipped, a missing accumulated file is
/// replaced by the segment, a join that fails leaves the segment on disk; each with a log line.
/// True when the side's audio is complete in the accumulated file.
bool JoinSegment(const SegmentJoin& join);

/// Worker thread: both sides; true when neither failed.
bool RunSegmentMerge(const SegmentMergeJob& job);

} // namespace tw
