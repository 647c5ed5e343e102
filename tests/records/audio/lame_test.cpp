// Codec 4: the command line we build, the lame program itself, and lame programs that fail,
// hang or are missing.

#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "records/audio_converter.h"
#include "records/lame_runner.h"
#include "tests/records/test_util.h"

namespace tw {
namespace {

using namespace tw::test;
using Args = std::vector<std::string>;

class LameTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        writeSineWav(m_source, 16000, 1, 16, 20.0, 440);
        m_sourceBytes = readFile(m_source);
    }

    /// A stand-in "lame" in its own program folder running the given shell script body.
    std::string fakeLame(const std::string& body)
    {
        const std::string folder = m_dir.file("bin");
        std::filesystem::create_directories(folder);
        writeFile(folder + "/lame", "#!/bin/sh\n" + body + "\n");
        ::chmod((folder + "/lame").c_str(), 0755);
        return folder;
    }

    const std::time_t m_start = localTime(2007, 7, 20, 14, 58, 6);
    TempDir m_dir;
    std::string m_source = m_dir.file("ti145806145826vbob.wav");
    std::string m_sourceBytes;
    std::string m_target = m_dir.file("ti145806145826vbob.mp3");
    std::string m_error;
};

TEST(LameOptionsTest, SplitsLikeAShellWithoutInterpreting)
{
    EXPECT_EQ(splitOptions("  -b   32\t-m m "), (Args{"-b", "32", "-m", "m"}));
    EXPECT_EQ(splitOptions(R"(--ta "Jane Doe" --tl "")"), (Args{"--ta", "Jane Doe", "--tl", ""}));
    EXPECT_EQ(splitOptions(R"(--tg a"b c"d)"), (Args{"--tg", "ab cd"}));
    EXPECT_EQ(splitOptions(R"(--tc "say \"hi\" \\ \n")"), (Args{"--tc", R"(say "hi" \ \n)"}));
    // Nothing a shell would expand or run is touched.
    EXPECT_EQ(splitOptions("$HOME *.wav; rm -rf / `id` 'x y'"),
              (Args{"$HOME", "*.wav;", "rm", "-rf", "/", "`id`", "'x", "y'"}));
    EXPECT_EQ(splitOptions(R"(--tt "unclosed quote)"), (Args{"--tt", "unclosed quote"}));
    EXPECT_TRUE(splitOptions("   ").empty());
}

TEST_F(LameTest, ArgumentsCarryOptionsStartTimeCommentAndFiles)
{
    EXPECT_EQ(buildLameArguments("/usr/bin/lame", "-b 32", m_start, "/r/a b.wav", "/r/a b.mp3"),
              (Args{"/usr/bin/lame", "-b", "32", "--tt", "2007-07-20 14:58:06", "--tc", "Tellwick",
                    "/r/a b.wav", "/r/a b.mp3"}));
    EXPECT_EQ(
        formatCommandLine(buildLameArguments("/usr/bin/lame", kDefaultLameOptions, m_start,
                                             "/r/a.wav", "/r/a.mp3")),
        R"(/usr/bin/lame -f --silent --tt "2007-07-20 14:58:06" --tc Tellwick /r/a.wav /r/a.mp3)");

    // The converter passes the configured options to the program.
    const std::string ini = m_dir.file("Tellwick.Ini");
    writeFile(ini, "[General]\nx=1\n[MP3]\nOPTIONS = -b 32  --tl \"My calls\"\n");
    const std::string argsFile = m_dir.file("args.txt");
    // The stand-in writes its arguments one per line and hands them to the real encoder: the
    // converter checks that the MP3 holds the whole recording.
    if (!CAudioConverter().LameAvailable())
        GTEST_SKIP() << "lame is not installed";
    const std::string folder = fakeLame("for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                                        argsFile + "'\nexec lame \"$@\"");
    CAudioConverter converter(folder, ini);
    EXPECT_EQ(converter.LameOptions(), "-b 32  --tl \"My calls\"");
    ASSERT_TRUE(converter.Convert(m_source, m_target, kCodecLame, m_start, &m_error)) << m_error;
    EXPECT_EQ(readFile(argsFile), "-b\n32\n--tl\nMy calls\n--tt\n2007-07-20 14:58:06\n--tc\n"
                                  "Tellwick\n" +
                                      m_source + "\n" + m_target + "\n");
    // Without the key the default options apply.
    writeFile(ini, "[MP3]\n");
    EXPECT_EQ(converter.LameOptions(), "-f --silent");
    EXPECT_EQ(CAudioConverter(folder).LameOptions(), "-f --silent");
}

TEST_F(LameTest, RealLameMakesAnMp3WithTheTitleAndComment)
{
    CAudioConverter converter;
    if (!converter.LameAvailable())
        GTEST_SKIP() << "lame is not installed";
    appendTwkiChunk(m_source); // as every record carries
    const std::string record = readFile(m_source);
    ASSERT_TRUE(converter.Convert(m_source, m_target, kCodecLame, m_start, &m_error)) << m_error;
    EXPECT_EQ(CAudioConverter::DetectCodec(m_target), kCodecLame);
    const std::string bytes = readFile(m_target);
    EXPECT_NE(bytes.find("2007-07-20 14:58:06"), std::string::npos);
    EXPECT_NE(bytes.find("Tellwick"), std::string::npos);
    const Decoded d = decodeWithSndfile(m_target);
    ASSERT_TRUE(d.ok);
    EXPECT_NEAR(d.seconds(), 20.0, 0.2);
    EXPECT_NEAR(zeroCrossingFrequency(d.samples, d.rate), 440, 2);
    EXPECT_EQ(readFile(m_source), record);

    // A compressed source goes through a temporary PCM file first.
    std::string adpcm = m_dir.file("adpcm.wav");
    ASSERT_TRUE(converter.Convert(m_source, adpcm, kCodecAdpcm, 0));
    std::string target = m_dir.file("adpcm.mp3");
    ASSERT_TRUE(converter.Convert(adpcm, target, kCodecLame, m_start));
    EXPECT_NEAR(decodeWithSndfile(target).seconds(), 20.0, 0.2);
    EXPECT_FALSE(exists(target + ".pcm.wav"));
}

TEST_F(LameTest, FailingLameIsAFailureAndLeavesTheSourceAlone)
{
    // Writes half a file and exits 3.
    CAudioConverter converter(fakeLame("eval last=\\${$#}\necho partial > \"$last\"\n"
                                       "echo 'cannot encode' >&2\nexit 3"));
    EXPECT_FALSE(converter.Convert(m_source, m_target, kCodecLame, m_start, &m_error));
    EXPECT_NE(m_error.find("exit status 3"), std::string::npos) << m_error;
    EXPECT_NE(m_error.find("cannot encode"), std::string::npos) << m_error;
    EXPECT_FALSE(exists(m_target));
    EXPECT_EQ(readFile(m_source), m_sourceBytes);
    // In place: the source stays, no "_1" file.
    std::string same = m_source;
    EXPECT_FALSE(converter.Convert(m_source, same, kCodecLame, m_start));
    EXPECT_EQ(readFile(m_source), m_sourceBytes);
    EXPECT_FALSE(exists(m_dir.file("ti145806145826vbob_1.wav")));
}

TEST_F(LameTest, HangingLameIsStoppedAfterTheTimeLimit)
{
    CAudioConverter converter(fakeLame("exec sleep 60"));
    converter.setLameTimeoutBase(std::chrono::milliseconds(300));
    writeSineWav(m_source, 16000, 1, 16, 0.1, 440);
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_FALSE(converter.Convert(m_source, m_target, kCodecLame, m_start, &m_error));
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(30));
    EXPECT_NE(m_error.find("did not finish"), std::string::npos) << m_error;
    EXPECT_FALSE(exists(m_target));
}

TEST_F(LameTest, MissingLameFailsAtOnce)
{
    const char* oldPath = std::getenv("PATH");
    const std::string saved = oldPath ? oldPath : "";
    ::setenv("PATH", m_dir.path().c_str(), 1); // a folder without lame
    CAudioConverter converter(m_dir.file("nowhere"));
    EXPECT_FALSE(converter.LameAvailable());
    EXPECT_FALSE(converter.Convert(m_source, m_target, kCodecLame, m_start, &m_error));
    ::setenv("PATH", saved.c_str(), 1);
    EXPECT_NE(m_error.find("not found"), std::string::npos) << m_error;
    EXPECT_FALSE(exists(m_target));
    EXPECT_EQ(readFile(m_source), m_sourceBytes);
}

TEST(RunProgramTest, ReportsASignalAndPassesArgumentsWithoutAShell)
{
    const auto run = [](const Args& argv) { return runProgram(argv, std::chrono::seconds(30)); };
    const ProgramRun killed = run({"/bin/sh", "-c", "kill -TERM $$"});
    EXPECT_TRUE(killed.started);
    EXPECT_EQ(killed.signal, 15);
    EXPECT_FALSE(killed.succeeded());
    EXPECT_FALSE(run({"/nonexistent/lame"}).started);
    EXPECT_TRUE(run({"/bin/sh", "-c", "test \"$1\" = '$(id); *'", "sh", "$(id); *"}).succeeded());
}

} // namespace
} // namespace tw
