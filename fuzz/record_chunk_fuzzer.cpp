// The record chunk ("TWKI") is read from every WAV in the records folder when the index is
// rebuilt, and written behind the audio of a finished record. Reading must take any bytes;
// writing into any file that holds a WAVE chunk must leave its audio exactly as it was and
// leave a chunk that reads back.
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "records/record_info.h"
#include "records/riff_wave_file.h"

namespace {

/// The audio the WAV reader hands out, or nothing when it does not open.
std::vector<std::uint8_t> audioOf(const std::string& bytes)
{
    tw::CRiffWaveFile wav;
    if (wav.OpenMemory(bytes.data(), bytes.size()) != tw::hr::ok)
        return {};
    std::vector<std::uint8_t> audio(wav.GetSize());
    std::uint32_t got = 0;
    if (!audio.empty())
        wav.Read(audio.data(), static_cast<std::uint32_t>(audio.size()), &got);
    audio.resize(got);
    return audio;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const tw::fuzz::MemoryFile file(data, size);
    if (!file.ok())
        return 0;
    tw::RecordInfo info;
    if (tw::ReadRecordInfo(file.path(), info)) {
        // Unterminated UTF-16 and lone surrogates from the file must convert safely.
        (void)info.Path(), (void)info.SkypeName(), (void)info.SecondText();
        (void)info.FullName(), (void)info.Annotation();
    }

    const std::string before = file.bytes();
    const std::vector<std::uint8_t> audio = audioOf(before);
    info.SetPath(file.path());
    info.SetAnnotation("written by the fuzzer");
    if (tw::AppendRecordInfo(info)) {
        const std::string after = file.bytes();
        tw::fuzz::check(audioOf(after) == audio, "writing the chunk changed the audio");
        tw::RecordInfo back;
        tw::fuzz::check(tw::ReadRecordInfo(file.path(), back), "a written chunk does not read");
    } else {
        tw::fuzz::check(file.bytes() == before, "a refused chunk changed the file");
    }
    return 0;
}
