#include "mainframe/greetings.h"

#include <cstdio>
#include <filesystem>
#include <vector>

#include <unistd.h>

#include "audio/codec_sndfile.h"
#include "audio/pcm_resample.h"
#include "mainframe/settings.h"
#include "platform/file_util.h"
#include "platform/log.h"
#include "platform/profile_store.h"
#include "platform/trace.h"
#include "platform/utf.h"

namespace tw {
namespace {

constexpr std::size_t kMaxListText = 259;

std::string listPath(const std::string& greetingFolder)
{
    return JoinPath(greetingFolder, kGreetingListFile);
}

int countIn(const ProfileStore& list)
{
    return list.getInt(kGreetingSection, "nNumOfGreeting", 0);
}

void fail(const std::string& text, std::string* error)
{
    appLog().Write("ConvertToGreetingFormat() - " + text);
    trace(2, "ConvertToGreetingFormat()(Failed) " + text);
    if (error)
        *error = text;
}

} // namespace

int GetGreetingCount(const std::string& greetingFolder)
{
    const int count = countIn(ProfileStore(listPath(greetingFolder)));
    return count > 0 ? count : 0;
}

void GetGreeting(const std::string& greetingFolder, int index, std::string* name, std::string* file)
{
    const ProfileStore list(listPath(greetingFolder));
    const int count = countIn(list);
    if (count <= 0) {
        if (name)
            name->clear();
        if (file)
            *file = greetingFolder;
        return;
    }
    const int i = (index > count || index < 1) ? 1 : index;
    const std::string number = std::to_string(i);
    if (name)
        *name = cutToUtf16Units(list.getString(kGreetingSection, "Name" + number), kMaxListText);
    if (file) {
        const std::string relative =
            cutToUtf16Units(list.getString(kGreetingSection, "File" + number), kMaxListText);
        *file = relative.empty() ? greetingFolder : JoinPath(greetingFolder, relative);
    }
}

GreetingLookup MakeGreetingLookup(std::string greetingFolder)
{
    return [folder = std::move(greetingFolder)](int index, std::string& name, std::string& file) {
        GetGreeting(folder, index, &name, &file);
        return GetGreetingCount(folder) > 0;
    };
}

std::string CurrentGreetingFile(const std::string& greetingFolder, int greetingType,
                                const std::string& listGreetingFile)
{
    if (greetingType == 0)
        return listGreetingFile;
    return JoinPath(greetingFolder, greetingType == 1 ? kCustomGreetingFile : kFileGreetingFile);
}

std::string CurrentGreetingFile(const std::string& greetingFolder, const CSettings& settings)
{
    return CurrentGreetingFile(greetingFolder, settings.nGreetingType,
                               settings.sDefaultGreetingFile);
}

bool ConvertToGreetingFormat(const std::string& source, const std::string& target,
                             std::string* error)
{
    SndFileReader reader;
    std::string why;
    if (!reader.open(source, why)) {
        fail(source + " " + why, error);
        return false;
    }
    // Written beside the target and renamed over it at the end, so that a failure leaves
    // the target (the current pending greeting) as it was.
    const std::string temp = target + ".part";
    SndFileWriter writer;
    if (!writer.open(temp, SF_FORMAT_WAV | SF_FORMAT_PCM_16, kGreetingSampleRate, 1, why)) {
        fail(target + ": " + why, error);
        return false;
    }
    const int channels = reader.info().channels;
    PcmResampler resampler(reader.info().samplerate, kGreetingSampleRate);
    constexpr sf_count_t kFrames = 4096;
    std::vector<float> frames(static_cast<std::size_t>(kFrames * channels));
    std::vector<float> mono(kFrames);
    std::vector<float> out;
    bool ok = true;
    for (;;) {
        const sf_count_t got = reader.readFrames(frames.data(), kFrames);
        if (got <= 0)
            break;
        for (sf_count_t i = 0; i < got; ++i) {
            float sum = 0.0f;
            for (int c = 0; c < channels; ++c)
                sum += frames[static_cast<std::size_t>(i * channels + c)];
            mono[static_cast<std::size_t>(i)] = sum / static_cast<float>(channels);
        }
        out.clear();
        resampler.process(mono.data(), static_cast<std::size_t>(got), out);
        if (!writer.writeFrames(out.data(), static_cast<sf_count_t>(out.size()))) {
            ok = false;
            why = "writing " + target + " failed";
            break;
        }
    }
    if (ok && reader.readError()) {
        ok = false;
        why = source + " cannot be decoded";
    }
    if (ok) {
        out.clear();
        resampler.finish(out);
        if (!writer.writeFrames(out.data(), static_cast<sf_count_t>(out.size()))) {
            ok = false;
            why = "writing " + target + " failed";
        }
    }
    std::string closeError;
    if (!writer.close(closeError) && ok) {
        ok = false;
        why = target + ": " + closeError;
    }
    if (ok && std::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        why = "cannot replace " + target;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        fail(why, error);
    }
    return ok;
}

bool InstallShippedGreetings(const std::string& shippedFolder, const std::string& greetingFolder)
{
    if (!EnsureFolderPath(greetingFolder))
        return false;
    std::vector<std::string> names{kGreetingListFile, kBeepFile};
    const ProfileStore list(listPath(shippedFolder));
    const int count = countIn(list);
    for (int i = 1; i <= count; ++i) {
        const std::string file = list.getString(kGreetingSection, "File" + std::to_string(i));
        // Only plain names: the list must not reach outside its folder.
        if (!file.empty() && file.find('/') == std::string::npos && file != "." && file != "..")
            names.push_back(file);
    }
    bool ok = true;
    for (const auto& name : names) {
        const std::string to = JoinPath(greetingFolder, name);
        if (FileExists(to))
            continue;
        std::error_code ec;
        std::filesystem::copy_file(JoinPath(shippedFolder, name), to, ec);
        if (ec) {
            appLog().Write("InstallShippedGreetings() - cannot copy " + name + " (" + ec.message() +
                           ")");
            ok = false;
        }
    }
    return ok;
}

} // namespace tw
