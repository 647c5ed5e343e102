#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/worker_pool.h"
#include "records/record_info.h"
#include "skype/record_finish_job.h"

namespace tw {

class CAudioConverter;
class CMailOutbox;
class CRecordStorage;
class EventLoop;
class RecordViews;

/// What the pipeline reads of the settings, copied whole whenever they change, so the
/// workers never read a block the UI thread is writing.
struct PipelineSettings
{
    bool fVoiceMailEmail = false;
    int nACodec = 1;
    int nACodecForEmail = 2;
    std::string fromName; ///< the application title
    std::string EmailFrom;
    int EmailToCount = 1;
    std::string EmailTo;
    std::string EmailSubject = "Default";
};

/// The road of a finished record: StartRecordAdd hands it to a worker, ThreadRecordAdd
/// e-mails a new voice mail (MailVoiceMail), adds the record to the live index and tells
/// the views, then ThreadRecordConv converts its audio to nACodec and puts the converted
/// file in the record's place.
///
/// Threads: StartRecordAdd from any thread (the record finisher's); the workers are a
/// bounded WorkerPool. Whatever touches the views or replaces a record's file runs on the
/// UI thread (posted to the loop): the swap happens under the index's lock, so a record
/// deleted meanwhile only loses its converted file. setSettings, setViews and Stop on the
/// UI thread. Stop() finishes every record already handed over, then joins the workers.
class CRecordPipeline : public RecordSink
{
public:
    static constexpr std::size_t kMaxWorkers = 2;
    /// The event text of a new voice mail (string 61240): insert 1 the partner's Skype name,
    /// insert 2 the local start time "%Y/%m/%d %H:%M:%S".
    static constexpr const char* kVoiceMailText = "Voice mail from %1% at %2%.";
    /// The subject that means "use the body text" (string 61206).
    static constexpr const char* kDefaultSubject = "Default";

    /// outbox may be null (nothing is mailed). All must outlive the pipeline.
    CRecordPipeline(CRecordStorage& storage, const CAudioConverter& converter, CMailOutbox* outbox,
                    EventLoop& loop);
    ~CRecordPipeline() override;
    CRecordPipeline(const CRecordPipeline&) = delete;
    CRecordPipeline& operator=(const CRecordPipeline&) = delete;

    void setSettings(PipelineSettings settings);
    PipelineSettings settings() const;
    /// Null: nothing is told (the record still goes its way).
    void setViews(RecordViews* views);

    // RecordSink: copies the record into an add job for a worker. Returns at once.
    void StartRecordAdd(const RecordInfo& info, int recordType) override;
    /// Queues the conversion of the record's file to the current nACodec.
    void StartRecordConv(const RecordInfo& info);

    /// Worker side; true when the job ran to the end, false when it gave up.
    bool ThreadRecordAdd(const RecordInfo& info, int recordType);
    bool ThreadRecordConv(const std::string& path, std::uint32_t startTime);
    /// Makes the e-mail copy of the record and queues the notification; false when no mail
    /// was queued (the copy is then gone).
    bool MailVoiceMail(const RecordInfo& info);

    /// Finishes every record handed over (their UI steps run here) and joins the workers.
    /// Later records run on the caller's thread. UI thread; idempotent.
    void Stop();
    /// Waits until the workers are idle, then runs the UI steps they left (tests).
    bool WaitIdle(std::chrono::milliseconds timeout);

    /// The body of the notification mail for a record.
    static std::string VoiceMailText(const std::string& skypeName, std::uint32_t startTime);

private:
    struct Shared;

    void postToUi(std::function<void()> step);
    void runUiSteps();
    void finishConversion(std::uint32_t startTime, const std::string& recorded,
                          const std::string& converted);
    void saveIndex();

    CRecordStorage& m_storage;
    const CAudioConverter& m_converter;
    CMailOutbox* m_outbox;
    EventLoop& m_loop;
    RecordViews* m_views = nullptr; // UI thread only (null once stopped)
    std::atomic<bool> m_stopped{false};

    mutable std::mutex m_settingsMutex;
    PipelineSettings m_settings;

    // UI steps queued by workers; the posted task and Stop() both run them, once.
    std::shared_ptr<Shared> m_shared;
    WorkerPool m_workers{kMaxWorkers};     // last: joined first on destruction
};

} // namespace tw
