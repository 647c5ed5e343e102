// What a finishing step (the greeting cut, the mix, the segment join) leaves when the program
// dies half way through it, and the clean-up that removes it without touching a segment or
// a record.

#include <csignal>
#include <functional>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "audio/wave_append.h"
#include "records/finish_leftovers.h"
#include "records/record_naming.h"
#include "records/record_storage.h"
#include "skype/record_finish_audio.h"
#include "wav_util.h"

namespace tw {
namespace {

using test::ramp;
using test::readWav;
using test::writeWav;

class FinishLeftovers : public ::testing::Test, protected test::TestFolder
{
protected:
    std::string records = path("records");
    std::string day = records + "/2007-07-20";
    std::string output = day + "/ti143000143010o.wav";
    std::string mic = day + "/ti143000143010m.wav";
    std::string segment = day + "/ti143000143010o-2.wav";

    void SetUp() override
    {
        std::filesystem::create_directories(day);
        ASSERT_TRUE(writeWav(output, ramp(16000, 1)));
        ASSERT_TRUE(writeWav(mic, ramp(16000, 7)));
        ASSERT_TRUE(writeWav(segment, ramp(16000, 3)));
    }

    /// Runs step in a child that the kernel kills (SIGXFSZ) once it has written 8 KiB of
    /// any file: a kill in the middle of the step's output.
    static void killedHalfWay(const std::function<void()>& step)
    {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const rlimit limit{8192, 8192};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            std::signal(SIGXFSZ, SIG_DFL);
            step();
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ)
            << "the step was not interrupted: " << status;
    }

    static void makeLeftover(const std::string& source, const char* step, std::time_t age)
    {
        const std::string temp = FinishTempPath(source, step);
        ASSERT_TRUE(writeWav(temp, ramp(100, 9)));
        const timespec times[2] = {{std::time(nullptr) - age, 0}, {std::time(nullptr) - age, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, temp.c_str(), times, 0), 0);
    }
};

TEST_F(FinishLeftovers, StartUpAfterAKillDuringAStepLeavesOnlyTheUntouchedSources)
{
    const std::vector<std::pair<const char*, std::function<void()>>> steps = {
        {"cut", [this] { CutGreeting(output, 10); }},
        {"mix", [this] { MixInto(output, mic, true); }},
        {"join",
         [this] {
             std::string first = output;
             AppendWave(first, segment, true);
         }},
    };
    for (const auto& [name, step] : steps) {
        SCOPED_TRACE(name);
        const auto before = filesIn(day);
        killedHalfWay(step);
        EXPECT_GT(filesIn(day).size(), before.size()) << "the kill left nothing to clean";

        CRecordStorage storage;
        ASSERT_TRUE(storage.OpenStorageFolder(records, nullptr));
        EXPECT_EQ(filesIn(day), before);
        EXPECT_EQ(readWav(output).samples, ramp(16000, 1));
        EXPECT_EQ(readWav(mic).samples, ramp(16000, 7));
        EXPECT_EQ(readWav(segment).samples, ramp(16000, 3));
    }
    EXPECT_NE(logText().find("left over from finishing a record"), std::string::npos);
}

TEST_F(FinishLeftovers, OnlyStaleTemporariesBesideTheirSourceGo)
{
    // Real names that look like temporaries of older versions: a partner handle "bob_5" and
    // the segments of one second.
    const std::string record = day + "/ti143000143010vbob_5.wav";
    ASSERT_TRUE(writeWav(record, ramp(100, 2)));
    makeLeftover(output, "cut", 2 * kFinishLeftoverAge); // stale: goes
    makeLeftover(mic, "mix", 10);                        // a step may be writing it: stays
    makeLeftover(day + "/ti150000150010o.wav", "join", 2 * kFinishLeftoverAge); // no source
    const std::string other = day + "/.ti143000143010o.wav.trim-tmp";           // not ours
    ASSERT_TRUE(writeWav(other, ramp(10, 0)));

    EXPECT_EQ(RemoveFinishLeftovers(records, std::time(nullptr) - kFinishLeftoverAge), 1);
    EXPECT_EQ(filesIn(day),
              (std::vector<std::string>{
                  ".ti143000143010m.wav.mix-tmp", ".ti143000143010o.wav.trim-tmp",
                  ".ti150000150010o.wav.join-tmp", "ti143000143010m.wav", "ti143000143010o-2.wav",
                  "ti143000143010o.wav", "ti143000143010vbob_5.wav"}));

    // A rescan while the program runs keeps the fresh one as well.
    CRecordStorage storage;
    ASSERT_TRUE(storage.OpenStorageFolder(records, nullptr));
    makeLeftover(output, "cut", 10);
    storage.RebuildLists(nullptr);
    EXPECT_TRUE(std::filesystem::exists(FinishTempPath(output, "cut")));
    makeLeftover(output, "cut", 2 * kFinishLeftoverAge);
    storage.RebuildLists(nullptr);
    EXPECT_FALSE(std::filesystem::exists(FinishTempPath(output, "cut")));
}

TEST_F(FinishLeftovers, TemporaryNamesNeverReadAsSegmentsOrRecords)
{
    for (const char* step : {"cut", "mix", "join"}) {
        const std::string temp = FinishTempPath("/r/d/ti143000143010o.wav", step);
        EXPECT_EQ(temp.substr(0, 6), "/r/d/.");
        EXPECT_EQ(FinishTempSource(temp.substr(5)), "ti143000143010o.wav");
        EXPECT_FALSE(IsRecordFileName(temp.substr(5)));
    }
    for (const char* name : {"ti143000143010o.wav", "ti143000143010o_5.wav", ".wav.cut-tmp",
                             ".ti1.wav.cut", ".x143000143010o.wav.cut-tmp",
                             ".ti143000143010o.wav.cutx-tmp", "twkrdb.ndx", ".Tellwick.Ini"})
        EXPECT_EQ(FinishTempSource(name), "") << name;
}

} // namespace
} // namespace tw
