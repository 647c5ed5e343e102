#include "skype/record_finish.h"

#include <algorithm>

#include <sys/stat.h>

#include "app/log.h"
#include "app/trace.h"
#include "platform/file_util.h"
#include "records/record_naming.h"
#include "records/riff_wave_file.h"
#include "skype/record_finish_audio.h"

namespace tw {
namespace {

std::int64_t fileSize(const std::string& path)
{
    struct stat st
    {
    };
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    return static_cast<std::int64_t>(st.st_size);
}

const std::string& firstNonEmpty(const std::string& a, const std::string& b)
{
    return a.empty() ? b : a;
}

// Joins what is left of the segments and mixes the microphone into the output side. Returns
// the file that holds the conversation, or "" when there is none.
std::string finishConversation(const FinishJob& job)
{
    RecordFiles files = job.files;
    RunSegmentMerge(TakeSegments(files));
    std::string output = files.outputFile;
    std::string mic = files.micFile;
    const bool haveOutput = !output.empty() && FileExists(output);
    const bool haveMic = !mic.empty() && FileExists(mic);
    if (!haveOutput && !haveMic) {
        appLog().Write("Record finisher: the files of the conversation are missing (" +
                       firstNonEmpty(output, mic) + "); no record.");
        return {};
    }
    if (!haveOutput) {
        appLog().Write("Record finisher: the output side " + output +
                       " is missing; the record keeps the microphone side only.");
        return mic;
    }
    if (!haveMic)
        return output;
    std::string error;
    if (MixInto(output, mic, job.formatMode == 1, &error)) {
        DeleteFileSafely(mic);
    } else {
        // The other parties are kept as the record and the microphone beside it, so nothing
        // of the conversation is lost.
        appLog().Write("Record finisher: mixing failed (" + error + "); " + output +
                       " is kept without the microphone side, which stays in " + mic + ".");
    }
    return output;
}

// Cuts the greeting off a voice mail. Returns the file, or "" when there is no message.
std::string finishVoiceMail(const FinishJob& job)
{
    const std::string& file = firstNonEmpty(job.files.outputFile, job.files.outputSegment);
    if (file.empty())
        return {};
    switch (CutGreeting(file, job.greetingCs)) {
    case CutResult::Done:
        return file;
    case CutResult::Unusable:
        // The caller hung up during the greeting (or Skype wrote something unplayable).
        DeleteFileSafely(file);
        tracef(2, "CSkypeLink::RecordFinisher()::CutGreeting(no message) %s", file.c_str());
        return {};
    case CutResult::Unreadable:
        if (FileExists(file))
            appLog().Write("Record finisher: the voice mail " + file +
                           " is not a readable WAV file; it is kept, no record.");
        else
            appLog().Write("Record finisher: the voice mail file " + file + " is missing.");
        return {};
    case CutResult::IoError:
        break;
    }
    // A full disk must not cost the caller's message: keep it with the greeting in front.
    appLog().Write("Record finisher: the greeting cannot be cut from " + file +
                   "; the voice mail is kept with the greeting.");
    return file;
}

} // namespace

RecordInfo MakeRecordInfo(const FinishJob& job, const std::string& path, std::time_t end)
{
    RecordInfo info;
    info.type = job.recordType;
    info.origin = job.recordOrigin;
    info.SetPath(path);
    if (job.transfer && !job.participantsText.empty()) {
        info.SetSkypeName(job.participantsText);
        info.SetSecondText(job.partnerHandle);
        info.SetFullName(job.transferFullName);
    } else {
        info.SetSkypeName(job.partnerHandle);
        info.SetSecondText(job.participantsText);
        info.SetFullName(job.partnerDispName);
    }
    if (!job.annotation.empty())
        info.SetAnnotation(job.annotation);
    info.startTime = static_cast<std::uint32_t>(job.recordStart);
    info.endTime = static_cast<std::uint32_t>(end == job.recordStart ? job.recordStart + 1 : end);
    info.size = fileSize(path);
    return info;
}

FinishResult FinishRecord(const FinishJob& job, RecordSink* sink)
{
    FinishResult result;
    std::string file;
    if (job.recordType == RECORD_CONVERSATION)
        file = finishConversation(job);
    else if (job.recordType == RECORD_VOICEMAIL)
        file = finishVoiceMail(job);
    if (file.empty())
        return result;

    std::time_t end = job.recordEnd;
    {
        CRiffWaveFile wave;
        if (wave.Open(file, nullptr, CRiffWaveFile::kModeRead) == hr::ok)
            end = job.recordStart + std::max<std::time_t>(1, wave.GetDurationCs() / 100);
    }

    std::string folder;
    std::string name;
    if (!SplitPath(file, folder, name))
        folder.assign(1, '.');
    const std::string ext = name.size() >= 4 ? name.substr(name.size() - 4) : std::string();
    const std::string target = RecordFilePath(
        folder, job.recordStart, end, static_cast<int>(job.recordType), job.partnerHandle, ext);
    if (target.empty()) {
        appLog().Write("Record finisher: the records folder path is too long for a record; " +
                       file + " is kept.");
        return result;
    }
    if (!RenameFileSafely(file, target)) {
        appLog().Write("Fail on renaming record file!");
        appLog().Write("Record finisher: " + file + " is kept; " + target +
                       (FileExists(target) ? " exists already." : " cannot be written."));
        return result;
    }

    result.recordMade = true;
    result.info = MakeRecordInfo(job, target, end);
    tracef(2, "CSkypeLink::RecordFinisher() record %s", target.c_str());
    if (sink)
        sink->StartRecordAdd(result.info, static_cast<int>(job.recordType));
    return result;
}

bool RunRecordFinisher(const FinishJob& job, RecordSink* sink)
{
    return FinishRecord(job, sink).recordMade;
}

} // namespace tw
