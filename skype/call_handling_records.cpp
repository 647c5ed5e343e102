// The recording side of call handling: segment paths, the greeting, and handing finished
// recordings to the record worker.
#include <algorithm>

#include "app/log.h"
#include "app/trace.h"
#include "platform/file_util.h"
#include "platform/utf.h"
#include "records/record_naming.h"
#include "records/riff_wave_file.h"
#include "skype/call_handling.h"
#include "skype/skype_link.h"

namespace tw {

bool CallHandling::ensureFreeSpace()
{
    return !m_freeSpace || m_freeSpace();
}

void CallHandling::SetGreetingFile(const std::string& path)
{
    if (path.empty() || !FileExists(path))
        return;
    int length = m_link.settings().greetingLength;
    CRiffWaveFile wave;
    if (wave.Open(path, nullptr, CRiffWaveFile::kModeRead) == hr::ok)
        length = static_cast<int>(wave.GetDurationCs());
    m_link.setGreeting(path, length);
}

std::string CallHandling::todayFolder()
{
    if (m_todayFolder)
        return m_todayFolder();
    const std::string& records = m_link.settings().recordsFolder;
    if (records.empty())
        return {};
    const std::string dated = JoinPath(records, RecordDateFolderName(m_loop.wallTime()));
    if (EnsureFolderPath(dated))
        return dated;
    EnsureFolderPath(records);
    return records;
}

bool CallHandling::pathInUse(const std::string& path) const
{
    if (FileExists(path))
        return true;
    for (const auto& c : m_link.calls())
        if (c.outputSegment == path || c.micSegment == path || c.outputFile == path ||
            c.micFile == path)
            return true;
    return false;
}

std::string CallHandling::makeSegmentPath(CSkypeCall& call, SegmentSide side)
{
    const std::string folder = todayFolder();
    if (folder.empty()) {
        appLog().Write("Call handling: no records folder is set; nothing is recorded.");
        return {};
    }
    // A resumed conversation keeps its start and names the pause; anything else starts now.
    std::time_t start = m_loop.wallTime();
    std::time_t end = start;
    if (call.has(CF_RECORDING) && call.recordType == RECORD_CONVERSATION && call.recordStart) {
        start = call.recordStart;
        end = call.recordEnd;
    }
    std::string name = SegmentFileName(start, end, side == SegmentSide::Microphone);
    name.resize(name.size() - 4);
    // Two recordings of the same second must never share a file Skype writes into.
    return UniquePath(folder, name, ".wav", [this](const std::string& p) { return pathInUse(p); });
}

void CallHandling::completePendingStop(CSkypeCall& call)
{
    if (!call.has(CF_STOP_PENDING))
        return;
    call.clear(CF_STOP_PENDING);
    if (call.has(CF_RECORDING))
        startSegmentMerge(call);
    else
        startRecordFinisher(call, false);
}

void CallHandling::startSegmentMerge(CSkypeCall& call)
{
    RecordFiles files{call.outputSegment, call.micSegment, call.outputFile, call.micFile};
    SegmentMergeJob job = TakeSegments(files);
    call.outputSegment = files.outputSegment;
    call.micSegment = files.micSegment;
    call.outputFile = files.outputFile;
    call.micFile = files.micFile;
    m_queue.post([job = std::move(job)] { RunSegmentMerge(job); });
}

void CallHandling::startRecordFinisher(CSkypeCall& call, bool remove)
{
    FinishJob job;
    job.files = RecordFiles{call.outputSegment, call.micSegment, call.outputFile, call.micFile};
    job.recordType = call.recordType;
    job.recordOrigin = call.recordOrigin;
    job.recordStart = call.recordStart;
    job.recordEnd = call.recordEnd;
    job.transfer = call.has(CF_TRANSFER);
    job.partnerHandle = call.partnerHandle;
    job.participantsText = call.participantsText;
    job.partnerDispName = call.partnerDispName;
    job.annotation = call.annotation;
    if (job.transfer && !job.participantsText.empty()) {
        // The record names the participant list; its full name is that of the contact the
        // list's first 31 units name, asked here on the UI thread.
        m_link.LookupUser(cutToUtf16Units(job.participantsText, 31), &job.transferFullName,
                          nullptr);
    }
    const SkypeLinkSettings& s = m_link.settings();
    // Only a greeting Skype said it played is in the file; an unplayable one (or one Skype
    // said nothing about) has the caller from the first moment.
    job.greetingCs = call.greeting == CSkypeCall::Greeting::Playing
                         ? static_cast<std::uint32_t>(std::max(0, s.greetingLength))
                         : 0;
    job.formatMode = s.formatMode;

    // The call no longer holds these files: a new recording on it starts clean.
    call.outputSegment.clear();
    call.micSegment.clear();
    call.outputFile.clear();
    call.micFile.clear();
    call.recordStart = 0;
    call.recordEnd = 0;
    if (remove) {
        call.flags = CF_FINISHED;
        const std::string id = call.callId;
        m_link.RemoveCall(id);
    }

    std::weak_ptr<int> alive = m_alive;
    RecordSink* sink = m_sink;
    EventLoop* loop = &m_loop;
    CSkypeLink* link = &m_link;
    m_queue.post([job = std::move(job), sink, loop, link, alive] {
        RunRecordFinisher(job, sink);
        loop->post([link, alive] {
            if (alive.lock())
                link->notifyCallStateChanged();
        });
    });
}

} // namespace tw
