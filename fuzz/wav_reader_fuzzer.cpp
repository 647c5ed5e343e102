// WAV files come from users (greetings), from Skype (call audio) and from the records
// folder: the reader and the strict header check must take any bytes, never read outside
// the file, and agree with each other about what a valid file holds.
#include <vector>

#include "fuzz/fuzz_support.h"
#include "audio/codec_wav_probe.h"
#include "records/riff_wave_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    tw::CRiffWaveFile memory;
    if (memory.OpenMemory(data, size) == tw::hr::ok) {
        tw::fuzz::check(memory.GetSize() <= size, "data larger than the file");
        (void)memory.GetDurationCs();
        (void)memory.GetSampleCount();
        std::vector<std::uint8_t> buffer(997);
        std::uint64_t total = 0;
        for (std::uint32_t got = 1; got > 0;) {
            if (memory.Read(buffer.data(), static_cast<std::uint32_t>(buffer.size()), &got) !=
                tw::hr::ok)
                break;
            total += got;
        }
        tw::fuzz::check(total == memory.GetSize(), "read a different amount than the size");
        tw::fuzz::check(memory.ResetFile() == tw::hr::ok, "reset");
    }

    const tw::fuzz::MemoryFile file(data, size);
    if (!file.ok())
        return 0;
    tw::CRiffWaveFile disk;
    if (disk.Open(file.path(), nullptr, tw::CRiffWaveFile::kModeRead) == tw::hr::ok)
        tw::fuzz::check(disk.GetSize() == memory.GetSize(), "file and memory readers differ");
    (void)tw::isRiffWave(file.path());
    tw::WavProbe probe;
    std::string error;
    if (tw::probeWav(file.path(), probe, error)) {
        tw::fuzz::check(probe.channels && probe.samplesPerSec && probe.blockAlign, "zero format");
        tw::fuzz::check(probe.dataOffset + probe.dataSize <= size, "data beyond the file");
        tw::fuzz::check(probe.waveEnd <= size, "wave chunk beyond the file");
    } else {
        tw::fuzz::check(!error.empty(), "a refusal without a reason");
    }
    return 0;
}
