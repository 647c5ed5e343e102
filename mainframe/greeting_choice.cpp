#include "mainframe/greeting_choice.h"

#include <cstdio>
#include <filesystem>

#include "audio/wave_append.h"
#include "mainframe/greetings.h"
#include "mainframe/settings.h"
#include "platform/file_util.h"
#include "platform/log.h"
#include "platform/prompt.h"

namespace tw {
namespace {

bool samePath(const std::string& a, const std::string& b)
{
    if (a == b)
        return true;
    std::error_code error;
    return std::filesystem::equivalent(a, b, error);
}

/// Puts pending in place of current in one step, so that a failure keeps the current file.
void replaceWith(const std::string& pending, const std::string& current)
{
    if (!CanOpenFile(pending))
        return;
    if (std::rename(pending.c_str(), current.c_str()) != 0)
        appLog().Write("GreetingChoice::confirm() - " + pending + " cannot replace " + current);
}

} // namespace

GreetingChoice::GreetingChoice(std::string greetingFolder, Prompt& prompt, int greetingType)
    : m_folder(std::move(greetingFolder)), m_prompt(prompt), m_kind(greetingType == 0   ? List
                                                                    : greetingType == 1 ? Recorded
                                                                                        : OwnFile)
{}

std::string GreetingChoice::path(const char* name) const
{
    return JoinPath(m_folder, name);
}

std::string GreetingChoice::recordedFile() const
{
    return path(m_recordedPending ? kCustomGreetingPendingFile : kCustomGreetingFile);
}

std::string GreetingChoice::ownFile() const
{
    return path(m_filePending ? kFileGreetingPendingFile : kFileGreetingFile);
}

std::string GreetingChoice::previewFile(int listSelection) const
{
    switch (m_kind) {
    case List: {
        std::string file;
        GetGreeting(m_folder, listSelection + 1, nullptr, &file);
        return file;
    }
    case Recorded:
        return recordedFile();
    case OwnFile:
        break;
    }
    return ownFile();
}

bool GreetingChoice::chooseRecorded(const Recorder& recorder)
{
    if (!CanOpenFile(recordedFile()) && (!record(recorder) || !CanOpenFile(recordedFile())))
        return false;
    m_kind = Recorded;
    return true;
}

bool GreetingChoice::chooseOwnFile()
{
    if (!CanOpenFile(ownFile()) && (!chooseAndLoadFile() || !CanOpenFile(ownFile())))
        return false;
    m_kind = OwnFile;
    return true;
}

bool GreetingChoice::record(const Recorder& recorder)
{
    bool recorded = false;
    if (!recorder || !recorder(path(kCustomGreetingPendingFile), recorded))
        return false;
    m_recordedPending = recorded;
    if (recorded)
        offerBeep(path(kCustomGreetingPendingFile));
    return true;
}

bool GreetingChoice::chooseAndLoadFile()
{
    const auto chosen = m_prompt.chooseFile("Open", kGreetingFileFilter, false);
    return chosen && loadFile(*chosen);
}

bool GreetingChoice::loadFile(const std::string& chosen)
{
    const std::string pending = path(kFileGreetingPendingFile);
    if (samePath(chosen, pending)) {
        m_prompt.message(kTextAlreadyGreetingFile, Prompt::Icon::Information, Prompt::Buttons::Ok);
        return true;
    }
    std::string error;
    if (!ConvertToGreetingFormat(chosen, pending, &error)) {
        m_prompt.message(kTextAudioNotSupported, Prompt::Icon::Information, Prompt::Buttons::Ok);
        return false;
    }
    offerBeep(pending);
    m_filePending = true;
    return true;
}

void GreetingChoice::offerBeep(std::string file)
{
    if (m_prompt.message(kTextAppendBeep, Prompt::Icon::Question, Prompt::Buttons::YesNo) !=
        Prompt::Answer::Yes)
        return;
    std::string error;
    if (!AppendWave(file, path(kBeepFile), false, &error))
        appLog().Write("AppendWave() - the beep cannot be appended: " + error);
}

void GreetingChoice::confirm(CSettings& settings, int listSelection)
{
    if (m_recordedPending)
        replaceWith(path(kCustomGreetingPendingFile), path(kCustomGreetingFile));
    if (m_filePending)
        replaceWith(path(kFileGreetingPendingFile), path(kFileGreetingFile));
    m_recordedPending = m_filePending = false;
    settings.nDefaultGreetingIndex = listSelection + 1;
    settings.nGreetingType = m_kind;
}

} // namespace tw
