#include "mainframe/record_pipeline.h"

#include <ctime>
#include <filesystem>
#include <system_error>

#include "app/log.h"
#include "app/trace.h"
#include "mail/mail_item.h"
#include "mail/mail_outbox.h"
#include "mainframe/record_views.h"
#include "mainframe/target_names.h"
#include "platform/event_loop.h"
#include "platform/file_util.h"
#include "records/audio_converter.h"
#include "records/record_index.h"
#include "records/record_storage.h"

namespace tw {

struct CRecordPipeline::Shared
{
    std::mutex mutex;
    std::deque<std::function<void()>> steps;
};

namespace {

std::int64_t fileSize(const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<std::int64_t>(size);
}

bool knownCodec(int codec)
{
    return codec >= kCodecPcm && codec <= kCodecLame;
}

/// Unwraps the MPEG frames of a codec 2 WAV into a plain MP3 (its name cut by `cut`
/// characters + ".mp3") that takes the WAV's place; false, WAV kept, when that fails.
bool unwrapMp3(std::string& wav, std::size_t cut)
{
    const std::string mp3 = UnwrappedMp3Name(wav, cut);
    if (!CAudioConverter::tiMP3WaveToPureMP3(wav, mp3))
        return false;
    DeleteFileSafely(wav);
    wav = mp3;
    return true;
}

} // namespace

CRecordPipeline::CRecordPipeline(CRecordStorage& storage, const CAudioConverter& converter,
                                 CMailOutbox* outbox, EventLoop& loop)
    : m_storage(storage), m_converter(converter), m_outbox(outbox), m_loop(loop),
      m_shared(std::make_shared<Shared>())
{}

CRecordPipeline::~CRecordPipeline()
{
    Stop();
}

void CRecordPipeline::setSettings(PipelineSettings settings)
{
    std::lock_guard lock(m_settingsMutex);
    m_settings = std::move(settings);
}

PipelineSettings CRecordPipeline::settings() const
{
    std::lock_guard lock(m_settingsMutex);
    return m_settings;
}

void CRecordPipeline::setViews(RecordViews* views)
{
    m_views = views;
}

void CRecordPipeline::StartRecordAdd(const RecordInfo& info, int recordType)
{
    m_workers.Submit([this, info, recordType] { ThreadRecordAdd(info, recordType); });
}

void CRecordPipeline::StartRecordConv(const RecordInfo& info)
{
    m_workers.Submit(
        [this, path = info.Path(), start = info.startTime] { ThreadRecordConv(path, start); });
}

bool CRecordPipeline::ThreadRecordAdd(const RecordInfo& info, int recordType)
{
    const PipelineSettings s = settings();
    if (s.fVoiceMailEmail && recordType == static_cast<int>(RECORD_VOICEMAIL))
        MailVoiceMail(info);

    if (m_storage.Index().AddRecord(info) != 1) {
        // Another record holds this start time, or the description could not be written:
        // the file stays as it is, and converting it would replace the other record's file.
        appLog().Write("CMainFrame::ThreadRecordAdd() - " + info.Path() +
                       " was not added to the record index.");
        trace(2, "CMainFrame::ThreadRecordAdd()::AddRecord(failed)");
        return false;
    }
    saveIndex();
    postToUi([this, info] {
        if (m_views) {
            m_views->recordAdded(info);
            m_views->addRecentRecord(info.startTime);
        }
    });
    if (settings().nACodec != kCodecPcm)
        StartRecordConv(info);
    return true;
}

std::string CRecordPipeline::VoiceMailText(const std::string& skypeName, std::uint32_t startTime)
{
    // kVoiceMailText with its inserts: "%1" the name, "% " a blank, "%2" the time, "%." a
    // period. Inserts are not read for further inserts.
    const std::time_t start = startTime;
    std::tm tm{};
    localtime_r(&start, &tm);
    char when[32];
    std::strftime(when, sizeof when, "%Y/%m/%d %H:%M:%S", &tm);
    return "Voice mail from " + skypeName + " at " + when + ".";
}

bool CRecordPipeline::MailVoiceMail(const RecordInfo& info)
{
    if (!m_outbox)
        return false;
    const PipelineSettings s = settings();
    // An unknown codec (an edited configuration file) sends the recording as it is.
    const int codec = knownCodec(s.nACodecForEmail) ? s.nACodecForEmail : kCodecPcm;
    const std::string path = info.Path();
    std::string copy = MakeTargetName(path, codec, true);
    if (codec != kCodecPcm) {
        if (!m_converter.Convert(path, copy, codec, info.startTime))
            return false;
        if (codec == kCodecMp3Wave)
            unwrapMp3(copy, 4); // failing that, the "_em.wav" is sent
    } else if (!CopyRecordFile(path, copy)) {
        return false;
    }

    MailItem item;
    item.fromName = s.fromName;
    item.fromAddress = s.EmailFrom;
    item.recipientCount = static_cast<std::uint32_t>(s.EmailToCount < 0 ? 0 : s.EmailToCount);
    item.toName = RecipientNameOf(s.EmailTo);
    item.toAddress = s.EmailTo;
    item.body = VoiceMailText(info.SkypeName(), info.startTime);
    item.subject = s.EmailSubject == kDefaultSubject ? item.body : s.EmailSubject;
    item.attachmentCount = 1;
    item.attachments[0] = copy;
    if (!m_outbox->QueueMail(item)) {
        DeleteFileSafely(copy);
        return false;
    }
    return true;
}

bool CRecordPipeline::ThreadRecordConv(const std::string& path, std::uint32_t startTime)
{
    const int codec = settings().nACodec;
    std::string converted;
    if (codec == kCodecAdpcm || codec == kCodecMp3Wave || codec == kCodecGsm) {
        converted = ConvertedWavName(path);
        if (!m_converter.Convert(path, converted, codec, startTime)) {
            trace(2, "CMainFrame::ThreadRecordConv()::AConvert1(Failed)");
            return false;
        }
        // Failing that, the MPEG Layer-3 WAV becomes the record under the record's name.
        if (codec == kCodecMp3Wave && !unwrapMp3(converted, 6))
            trace(2, "CMainFrame::ThreadRecordConv()::tiMP3WaveToPureMP3(failed)");
    } else if (codec == kCodecLame) {
        converted = MakeTargetName(path, kCodecLame, false);
        if (!m_converter.Convert(path, converted, kCodecLame, startTime)) {
            trace(2, "CMainFrame::ThreadRecordAdd()::AConvert2(failed)");
            return false;
        }
    } else {
        return true; // nothing to convert: the record keeps its file
    }
    postToUi([this, startTime, path, converted] { finishConversion(startTime, path, converted); });
    return true;
}

void CRecordPipeline::finishConversion(std::uint32_t startTime, const std::string& recorded,
                                       const std::string& converted)
{
    const bool released = m_views && m_views->releaseRecord(startTime);
    bool replaced = false;
    // The swap runs under the index's lock: a record deleted meanwhile is not found, and
    // one deleted afterwards is deleted with its new file.
    m_storage.Index().UpdateRecord(startTime, [&](RecordInfo& stored) {
        if (stored.Path() != recorded)
            return; // another record took this start time
        std::error_code error;
        if (IsConvertedWavName(converted)) {
            // Renamed over the recording: the record never lacks its file.
            std::filesystem::rename(converted, recorded, error);
            if (error)
                return;
        } else {
            stored.SetPath(converted);
            if (!DeleteFileSafely(recorded) && FileExists(recorded))
                appLog().Write("CMainFrame::ThreadRecordConv() - " + recorded +
                               " cannot be deleted.");
        }
        // The converted audio came without the record's description; the stored size is
        // the file with its chunk, as a rescan measures it.
        std::int64_t size = fileSize(stored.Path());
        if (IsRecordWav(stored.Path()))
            AppendRecordInfo(stored, &size);
        stored.size = size;
        replaced = true;
    });
    if (!replaced)
        DeleteFileSafely(converted);
    else
        saveIndex();
    if (released && m_views)
        m_views->reopenRecord(startTime);
}

void CRecordPipeline::saveIndex()
{
    // After every change, so that a process killed later keeps what was done.
    if (!m_storage.SaveIndex())
        appLog().Write("CMainFrame::ThreadRecordAdd() - The record index cannot be saved.");
}

void CRecordPipeline::postToUi(std::function<void()> step)
{
    if (m_stopped) {
        step(); // no loop to post to any more, and no views
        return;
    }
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->steps.push_back(std::move(step));
    }
    m_loop.post([weak = std::weak_ptr<Shared>(m_shared), this] {
        // The pipeline dies on this thread, so a live Shared means a live pipeline.
        if (weak.lock())
            runUiSteps();
    });
}

void CRecordPipeline::runUiSteps()
{
    for (;;) {
        std::function<void()> step;
        {
            std::lock_guard lock(m_shared->mutex);
            if (m_shared->steps.empty())
                return;
            step = std::move(m_shared->steps.front());
            m_shared->steps.pop_front();
        }
        step();
    }
}

void CRecordPipeline::Stop()
{
    m_workers.Stop();
    runUiSteps();
    m_views = nullptr;
    m_stopped = true;
}

bool CRecordPipeline::WaitIdle(std::chrono::milliseconds timeout)
{
    const bool idle = m_workers.WaitIdle(timeout);
    runUiSteps();
    return idle;
}

} // namespace tw
