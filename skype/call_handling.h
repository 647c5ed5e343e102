#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "platform/event_loop.h"
#include "skype/call_events.h"
#include "skype/record_finish_job.h"
#include "skype/record_finish_queue.h"

namespace tw {

class CSkypeLink;
struct CSkypeCall;

/// The answering machine: the rules by which the link reacts to each call's progress. An
/// incoming call nobody takes within the waiting period is answered with the greeting and
/// recorded as a voice mail; conversations are recorded across hold and resume; a caller gets
/// a chat notice instead when the user is busy; a call can be handed on to another Skype name.
/// Finished recordings are turned into records on a worker thread (RecordFinishQueue) and
/// handed to the RecordSink.
///
/// Threads: every public function and every hook runs on the UI thread. The worker only
/// touches files and the sink; what it has to say to the call list is posted back to the
/// loop. The worker is joined by onShutdown() (the link's Shutdown) or the destructor.
///
/// Wiring: construct with the link and its loop, set the sink (and, optionally, the storage
/// hooks), then link.setCallHandler(&handling). Destroy after the link's Shutdown().
class CallHandling : public CallHandler
{
public:
    CallHandling(CSkypeLink& link, EventLoop& loop);
    ~CallHandling() override;
    CallHandling(const CallHandling&) = delete;
    CallHandling& operator=(const CallHandling&) = delete;

    /// Finished records go here (from the worker thread). Null: records are made and logged
    /// but go nowhere. Set before calls arrive; the sink must outlive onShutdown().
    void setRecordSink(RecordSink* sink) { m_sink = sink; }
    /// The storage check before a start (default: always enough space).
    void setFreeSpaceCheck(std::function<bool()> check) { m_freeSpace = std::move(check); }
    /// Today's record folder (default: the link's records folder plus "%Y-%m-%d" of the
    /// loop's wall clock, created on demand, or the records folder itself when that fails).
    void setTodayFolderSource(std::function<std::string()> source)
    {
        m_todayFolder = std::move(source);
    }

    /// The greeting Skype plays to a voice-mail caller. A missing file changes nothing; a file
    /// that opens as WAV also sets the greeting length (hundredths of a second).
    void SetGreetingFile(const std::string& path);
    /// The side panel's record button, acting on the current call.
    void ToggleRecord();

    /// Blocks until every queued finisher and merge has run (tests, orderly exit).
    void waitForRecordWork() { m_queue.waitIdle(); }

    // CallHandler
    void onCallStatus(CSkypeCall& call, CallStatus status, const std::string& notifiedId) override;
    void onCallType(CSkypeCall& call) override;
    void onCallDuration(CSkypeCall& call) override;
    void onCallPartnerHandle(CSkypeCall& call) override;
    void onCallConfId(CSkypeCall& call) override;
    void onAlterCallEcho(CSkypeCall& call, std::string_view property,
                         std::string_view value) override;
    void onAnswerTimer(CSkypeCall& call) override;
    void onCallRemoving(CSkypeCall& call) override;
    void onExitRequested() override;
    void onShutdown() override;
    bool ensureFreeSpace() override;
    std::string makeSegmentPath(CSkypeCall& call, SegmentSide side) override;
    void onVoiceMailStarted(CSkypeCall& call) override;

private:
    // Rules (call_handling.cpp).
    void onRouting(CSkypeCall& call);
    void onInProgress(CSkypeCall& call);
    void onHold(CSkypeCall& call);
    void onFailedEnd(CSkypeCall& call, const std::string& notifiedId);
    void onFinished(CSkypeCall& call, const std::string& notifiedId);
    CSkypeCall* inProgressBookkeeping(CSkypeCall& call);
    void recognizeTransferLeg(CSkypeCall& call);
    void onTargetAnswered(CSkypeCall& target);
    void foldIntoHost(CSkypeCall& call, CSkypeCall& host);

    // Recordings (call_handling_records.cpp).
    /// A stop whose acknowledgement has not come yet is completed now: before a new start on
    /// the same call and when the call ends, so its segments are never overwritten or lost.
    void completePendingStop(CSkypeCall& call);
    void startSegmentMerge(CSkypeCall& call);
    /// Takes the call's files into a finisher job and queues it; with remove the call is then
    /// taken out of the list at once (the job holds all the finisher needs).
    void startRecordFinisher(CSkypeCall& call, bool remove);
    std::string todayFolder();
    bool pathInUse(const std::string& path) const;

    CSkypeLink& m_link;
    EventLoop& m_loop;
    RecordSink* m_sink = nullptr;
    std::function<bool()> m_freeSpace;
    std::function<std::string()> m_todayFolder;
    /// Calls (by number) whose voice-mail length limit has already sent the hang-up.
    std::unordered_set<std::int32_t> m_limitHangUp;
    /// Posted tasks check this before touching the object (it may be gone by then).
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
    RecordFinishQueue m_queue; // last: joined first on destruction
};

} // namespace tw
