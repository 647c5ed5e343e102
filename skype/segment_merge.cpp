#include "skype/segment_merge.h"

#include "audio/wave_append.h"
#include "platform/file_util.h"
#include "platform/log.h"

namespace tw {
namespace {

SegmentJoin takeSide(std::string& segment, std::string& accumulated)
{
    SegmentJoin join{accumulated, segment};
    if (accumulated.empty())
        accumulated = segment;
    segment.clear();
    return join;
}

} // namespace

SegmentMergeJob TakeSegments(RecordFiles& files)
{
    SegmentMergeJob job;
    job.output = takeSide(files.outputSegment, files.outputFile);
    job.mic = takeSide(files.micSegment, files.micFile);
    return job;
}

bool JoinSegment(const SegmentJoin& join)
{
    // The first segment of a side is its accumulated file: nothing to join.
    if (join.segment.empty() || join.accumulated.empty() || join.segment == join.accumulated)
        return true;
    if (!FileExists(join.segment)) {
        appLog().Write("Segment merge: the segment " + join.segment +
                       " is missing; the record goes on without it.");
        return true;
    }
    if (!FileExists(join.accumulated)) {
        appLog().Write("Segment merge: the file " + join.accumulated +
                       " is missing; the record goes on from " + join.segment + ".");
        if (RenameFileSafely(join.segment, join.accumulated))
            return true;
        appLog().Write("Segment merge: " + join.segment + " cannot be renamed; it is kept.");
        return false;
    }
    std::string accumulated = join.accumulated;
    std::string error;
    if (AppendWave(accumulated, join.segment, true, &error))
        return true;
    appLog().Write("Segment merge: " + join.segment + " cannot be joined to " + join.accumulated +
                   " (" + error + "); the segment is kept.");
    return false;
}

bool RunSegmentMerge(const SegmentMergeJob& job)
{
    const bool output = JoinSegment(job.output);
    const bool mic = JoinSegment(job.mic);
    return output && mic;
}

} // namespace tw
