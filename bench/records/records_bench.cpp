// Record index at scale: 100 000 records over about three years, one small WAV file with
// its record chunk each. The folder is made once below $TMPDIR (or /tmp) and reused.
//
//   tw_records_bench [--benchmark_filter=...]      TW_BENCH_FOLDER=/path overrides the place

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include "platform/file_util.h"
#include "records/record_index.h"
#include "records/riff_wave_file.h"

namespace {

using namespace tw;

constexpr int kRecords = 100000;
constexpr std::uint32_t kStep = 900; // one record every 15 minutes: 2.85 years

std::string benchFolder()
{
    if (const char* folder = std::getenv("TW_BENCH_FOLDER"))
        return folder;
    return (std::filesystem::temp_directory_path() / "tw-records-bench").string();
}

std::uint32_t firstStart()
{
    std::tm tm{};
    tm.tm_year = 105; // 2005-01-01 00:00 local
    tm.tm_mday = 1;
    tm.tm_isdst = -1;
    return static_cast<std::uint32_t>(std::mktime(&tm));
}

std::vector<std::uint8_t> wavBytes()
{
    const std::string path = benchFolder() + "/template.wav";
    CRiffWaveFile wav;
    const WaveFormat format = WaveFormat::Pcm(16000, 1, 16);
    std::vector<std::uint8_t> data(200, 1);
    wav.Open(path, &format, CRiffWaveFile::kModeWrite);
    wav.Write(static_cast<std::uint32_t>(data.size()), data.data(), nullptr);
    wav.Close();
    std::vector<std::uint8_t> bytes(256);
    const int fd = ::open(path.c_str(), O_RDONLY);
    bytes.resize(static_cast<std::size_t>(::read(fd, bytes.data(), bytes.size())));
    ::close(fd);
    ::unlink(path.c_str());
    return bytes;
}

/// Makes the folder (files with their chunks, then the index) unless a previous run did.
const std::string& folder()
{
    static const std::string made = [] {
        const std::string root = benchFolder();
        const std::string marker = root + "/complete";
        if (FileExists(marker))
            return root;
        std::filesystem::remove_all(root);
        EnsureFolderPath(root);
        const auto wav = wavBytes();
        const std::uint32_t first = firstStart();
        for (int i = 0; i < kRecords; ++i) {
            const std::uint32_t start = first + static_cast<std::uint32_t>(i) * kStep;
            const std::uint32_t end = start + 30 + static_cast<std::uint32_t>(i % 600);
            const std::string name = "user" + std::to_string(i % 5000);
            const std::string day = JoinPath(root, RecordDateFolderName(start));
            EnsureFolder(day);
            RecordInfo info;
            info.type = i % 3 == 0 ? RECORD_CONVERSATION : RECORD_VOICEMAIL;
            info.SetPath(JoinPath(day, MakeRecordFileName(info.type, start, end, name)));
            info.SetSkypeName(name);
            info.SetFullName("Full Name " + std::to_string(i % 5000));
            if (i % 7 == 0)
                info.SetAnnotation("call back about invoice " + std::to_string(i));
            info.startTime = start;
            info.endTime = end;
            info.size = static_cast<std::int64_t>(wav.size() + 12 + sizeof(RecordInfo));
            std::vector<std::uint8_t> file = wav;
            const std::uint32_t chunkSize = 4 + sizeof(RecordInfo);
            file.insert(file.end(), {'R', 'I', 'F', 'F'});
            file.insert(file.end(), reinterpret_cast<const std::uint8_t*>(&chunkSize),
                        reinterpret_cast<const std::uint8_t*>(&chunkSize) + 4);
            file.insert(file.end(), {'T', 'W', 'K', 'I'});
            file.insert(file.end(), reinterpret_cast<const std::uint8_t*>(&info),
                        reinterpret_cast<const std::uint8_t*>(&info) + sizeof info);
            const int fd = ::open(info.Path().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 ||
                ::write(fd, file.data(), file.size()) != static_cast<ssize_t>(file.size()))
                std::abort();
            ::close(fd);
        }
        CRecordIndex index;
        if (!index.OpenFolder(root) || index.GetRecordCount() != kRecords)
            std::abort();
        ::close(::open(marker.c_str(), O_WRONLY | O_CREAT, 0644));
        return root;
    }();
    return made;
}

std::string indexFile()
{
    return JoinPath(folder(), "twkrdb.ndx");
}

void BM_CopyIndexWithCp(benchmark::State& state)
{
    const std::string command = "cp " + indexFile() + " " + indexFile() + ".copy";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("cp failed");
    }
    ::unlink((indexFile() + ".copy").c_str());
}
BENCHMARK(BM_CopyIndexWithCp)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_CopyIndexWithCpAndSync(benchmark::State& state)
{
    const std::string copy = indexFile() + ".copy";
    const std::string command = "cp " + indexFile() + " " + copy + " && sync " + copy;
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("cp failed");
    }
    ::unlink(copy.c_str());
}
BENCHMARK(BM_CopyIndexWithCpAndSync)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_OpenFolder(benchmark::State& state)
{
    const std::string root = folder();
    for (auto _ : state) {
        auto index = std::make_unique<CRecordIndex>();
        if (!index->OpenFolder(root))
            state.SkipWithError("open failed");
        state.PauseTiming(); // releasing the tree is not part of loading
        index.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenFolder)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Save(benchmark::State& state)
{
    CRecordIndex index;
    index.OpenFolder(folder());
    for (auto _ : state) {
        if (!index.Save())
            state.SkipWithError("save failed");
    }
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Scan(benchmark::State& state)
{
    CRecordIndex index;
    index.OpenFolder(folder());
    for (auto _ : state) {
        if (!index.Scan() || index.GetRecordCount() != kRecords)
            state.SkipWithError("scan failed");
    }
}
BENCHMARK(BM_Scan)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_FindRecord(benchmark::State& state)
{
    CRecordIndex index;
    index.OpenFolder(folder());
    std::mt19937 random(1);
    const std::uint32_t first = firstStart();
    for (auto _ : state) {
        const std::uint32_t start = first + (random() % kRecords) * kStep;
        benchmark::DoNotOptimize(index.FindRecord(start));
    }
}
BENCHMARK(BM_FindRecord)->Unit(benchmark::kMicrosecond);

void BM_Search(benchmark::State& state)
{
    CRecordIndex index;
    index.OpenFolder(folder());
    const char* const texts[] = {"user4711", "invoice 9", "zebra", "2006"};
    const std::string text = texts[state.range(0)];
    std::size_t found = 0;
    for (auto _ : state) {
        found = 0;
        index.EnumerateRecords(0, text, [&found](const RecordInfo&) { ++found; });
    }
    state.SetLabel(text + ": " + std::to_string(found) + " found");
}
BENCHMARK(BM_Search)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
