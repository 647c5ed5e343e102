// Rebuilding an index whose old tree does not fit the folder: 20 000 record files (one small
// WAV with its record chunk each) rebuilt once against their own index and once against a
// stale index of 100 000 entries for records that are gone. Matching the files to the old
// entries must not cost more than the scan itself: the stale rebuild should stay within 1.5
// times the other.
//
//   tw_rebuild_bench [--benchmark_filter=...]      TW_BENCH_FOLDER=/path overrides the place

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include "platform/file_util.h"
#include "records/record_index.h"
#include "records/riff_wave_file.h"

namespace {

using namespace tw;

constexpr int kFiles = 20000;
constexpr int kStaleEntries = 100000;
constexpr std::uint32_t kStep = 900;

std::string benchRoot()
{
    if (const char* folder = std::getenv("TW_BENCH_FOLDER"))
        return folder;
    return (std::filesystem::temp_directory_path() / "tw-rebuild-bench").string();
}

std::uint32_t localStart(int year)
{
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mday = 1;
    tm.tm_isdst = -1;
    return static_cast<std::uint32_t>(std::mktime(&tm));
}

RecordInfo describe(const std::string& root, std::uint32_t start, int i, const char* ext)
{
    RecordInfo info;
    info.type = i % 3 == 0 ? RECORD_CONVERSATION : RECORD_VOICEMAIL;
    const std::uint32_t end = start + 30 + static_cast<std::uint32_t>(i % 600);
    std::string name = MakeRecordFileName(info.type, start, end, "user" + std::to_string(i % 500));
    name.replace(name.size() - 4, 4, ext);
    info.SetPath(JoinPath(JoinPath(root, RecordDateFolderName(start)), name));
    info.SetSkypeName("user" + std::to_string(i % 500));
    info.startTime = start;
    info.endTime = end;
    info.size = 1000;
    return info;
}

/// The folder with its files, its own index ("own.ndx") and the stale one ("stale.ndx").
const std::string& folder()
{
    static const std::string made = [] {
        const std::string root = benchRoot();
        const std::string marker = root + "/complete";
        if (FileExists(marker))
            return root;
        std::filesystem::remove_all(root);
        EnsureFolderPath(root);
        // The stale index: 100 000 records of years before, whose files are gone.
        const std::string old = root + "-stale";
        std::filesystem::remove_all(old);
        EnsureFolderPath(old);
        {
            CRecordIndex stale;
            if (!stale.OpenFolder(old))
                std::abort();
            const std::uint32_t first = localStart(2001);
            for (int i = 0; i < kStaleEntries; ++i)
                if (stale.AddRecord(describe(old, first + std::uint32_t(i) * kStep, i, ".mp3")) !=
                    1)
                    std::abort();
            if (!stale.Save())
                std::abort();
        }
        std::filesystem::copy_file(old + "/twkrdb.ndx", root + "/stale.ndx");
        std::filesystem::remove_all(old);

        const std::uint32_t first = localStart(2005);
        const WaveFormat format = WaveFormat::Pcm(16000, 1, 16);
        const std::vector<char> data(200, 1);
        CRecordIndex own;
        if (!own.OpenFolder(root))
            std::abort();
        for (int i = 0; i < kFiles; ++i) {
            const RecordInfo info = describe(root, first + std::uint32_t(i) * kStep, i, ".wav");
            std::string dayFolder, name;
            SplitPath(info.Path(), dayFolder, name);
            EnsureFolder(dayFolder);
            CRiffWaveFile wav;
            if (wav.Open(info.Path(), &format, CRiffWaveFile::kModeWrite) != hr::ok ||
                wav.Write(std::uint32_t(data.size()), data.data(), nullptr) != hr::ok ||
                wav.Close() != hr::ok || own.AddRecord(info) != 1)
                std::abort();
        }
        if (!own.Save())
            std::abort();
        std::filesystem::copy_file(root + "/twkrdb.ndx", root + "/own.ndx");
        ::close(::open(marker.c_str(), O_WRONLY | O_CREAT, 0644));
        return root;
    }();
    return made;
}

/// Rebuilds the folder with the index file given loaded as the old tree.
void rebuildAgainst(benchmark::State& state, const char* indexFile)
{
    const std::string root = folder();
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::copy_file(root + "/" + indexFile, root + "/twkrdb.ndx",
                                   std::filesystem::copy_options::overwrite_existing);
        auto index = std::make_unique<CRecordIndex>();
        if (!index->OpenFolder(root))
            state.SkipWithError("open failed");
        state.ResumeTiming();
        if (!index->Rebuild() || index->GetRecordCount() != kFiles)
            state.SkipWithError("rebuild failed");
        state.PauseTiming(); // releasing the trees is not part of the rebuild
        index.reset();
        state.ResumeTiming();
    }
}

void BM_RebuildAgainstOwnIndex(benchmark::State& state)
{
    rebuildAgainst(state, "own.ndx");
}
BENCHMARK(BM_RebuildAgainstOwnIndex)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_RebuildAgainstStaleIndex(benchmark::State& state)
{
    rebuildAgainst(state, "stale.ndx");
}
BENCHMARK(BM_RebuildAgainstStaleIndex)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
