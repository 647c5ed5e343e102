// A records folder of damaged files, run through every verb of tellwick-tool records and
// audio: nothing crashes or hangs, every refusal says why, and no record's audio changes.

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "tests/records/test_util.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using namespace test;

const std::string kTool = std::string(TW_BINARY_DIR) + "/bin/tellwick-tool";

struct ToolRun
{
    int status = -1; ///< exit status; 124 when the time limit ended it, 128 + n for signal n
    std::string errors;
};

/// Runs the tool with a time limit of 10 s on Berlin time; its standard error is kept.
ToolRun runTool(const std::string& arguments, const std::string& errorFile)
{
    const std::string command = "TZ=Europe/Berlin timeout 10 " + kTool + " " + arguments +
                                " >/dev/null 2>'" + errorFile + "'";
    const int raw = std::system(command.c_str());
    ToolRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    run.errors = readFile(errorFile);
    return run;
}

std::string quoted(const std::string& path)
{
    return "'" + path + "'";
}

class RecordsCorpusTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!exists(kTool))
            GTEST_SKIP() << "tellwick-tool is not built";
        fs::create_directories(m_day);
        writeSineWav(m_day + "/ti090000090001vgood.wav", 16000, 1, 16, 1.0, 440);
        const std::string wav = readFile(m_day + "/ti090000090001vgood.wav");
        const auto withField = [&](std::size_t at, std::uint32_t value) {
            std::string bytes = wav;
            put32(bytes, at, value);
            return bytes;
        };
        std::mt19937 random(11);
        std::string noise(3000, '\0');
        for (char& c : noise)
            c = char(random());
        const std::map<std::string, std::string> files = {
            {"ti091000091001vriff0.wav", withField(4, 0)},
            {"ti092000092001vstale.wav", withField(4, 36)},
            {"ti093000093001vlarge.wav", withField(4, 0xFFFFFFF0)},
            {"ti094000094001vcut.wav", wav.substr(0, wav.size() / 2)},
            {"ti095000095001vdata0.wav", withField(4, 0).replace(40, 4, u32(0))},
            {"ti100000100001valign.wav", withField(32, 0)},
            {"ti101000101001vempty.wav", ""},
            {"ti102000102001vnoise.wav", noise},
            {"ti103000103001vnoise.mp3", noise},
            {"ti104000104000o.wav", wav},
            {"ti091000091001vriff0.mp3.pcm.wav", wav},
            {"ti105000105001vodd.wav", wav.substr(0, wav.size() - 1)},
        };
        for (const auto& [name, bytes] : files)
            writeFile(m_day + "/" + name, bytes);
        // A record whose chunk is all zeros.
        writeFile(m_day + "/ti110000110001vzero.wav",
                  wav + "RIFF" + u32(876) + "TWKI" + std::string(872, '\0'));
        ASSERT_EQ(::mkfifo((m_day + "/ti111000111001vfifo.wav").c_str(), 0644), 0);
        for (const auto& entry : fs::directory_iterator(m_day))
            if (entry.is_regular_file())
                m_audio[entry.path()] = soxAudio(entry.path());
    }

    /// Runs and checks that the tool ended by itself, without a crash, and said why when it
    /// refused.
    void expectClean(const std::string& arguments)
    {
        const ToolRun run = runTool(arguments, m_out.file("errors.txt"));
        EXPECT_NE(run.status, 124) << arguments << ": still running after 10 s";
        EXPECT_LT(run.status, 124) << arguments << ": " << run.errors;
        EXPECT_EQ(run.errors.find("Sanitizer"), std::string::npos) << arguments << run.errors;
        EXPECT_EQ(run.errors.find("runtime error"), std::string::npos) << arguments << run.errors;
        if (run.status != 0) {
            EXPECT_NE(run.errors.find("tellwick-tool"), std::string::npos) << arguments;
            EXPECT_GT(run.errors.size(), 30u) << arguments << ": " << run.errors;
        }
    }

    void expectAudioUnchanged(const std::string& after)
    {
        for (const auto& [path, audio] : m_audio)
            EXPECT_EQ(soxAudio(path), audio) << path << " after " << after;
    }

    TempDir m_dir;
    TempDir m_out;
    std::string m_day = m_dir.file("2007-07-20");
    std::map<std::string, std::string> m_audio; // what sox reads from each file at the start
};

TEST_F(RecordsCorpusTest, EveryVerbOnEveryDamagedFile)
{
    const std::string folder = quoted(m_dir.path());
    expectClean("records list " + folder);
    expectAudioUnchanged("records list");
    expectClean("records rebuild " + folder);
    expectAudioUnchanged("records rebuild");

    // Damaged indexes: zeroed times, groups cut short, noise.
    const std::string index = readFile(m_dir.file("twkrdb.ndx"));
    ASSERT_GT(index.size(), 56u + 3 * 40);
    std::string zeroed = index;
    put32(zeroed, 4, 0);
    put32(zeroed, 8, 0);
    for (const std::string& damaged : {zeroed, index.substr(0, 56 + 3 * 40 - 7),
                                       index.substr(0, 56) + std::string(500, '\xFF')}) {
        writeFile(m_dir.file("twkrdb.ndx"), damaged);
        expectClean("records list " + folder);
    }
    expectAudioUnchanged("damaged indexes");

    for (const auto& entry : fs::directory_iterator(m_day)) {
        const std::string file = quoted(entry.path());
        const std::string name = entry.path().filename();
        SCOPED_TRACE(name);
        expectClean("records info " + file);
        expectClean("audio detect " + file);
        expectClean("audio duration " + file);
        for (int codec = 0; codec <= 4; ++codec)
            expectClean("audio convert " + file + " " +
                        quoted(m_out.file("c" + std::to_string(codec) + name +
                                          (codec == 4 ? ".mp3" : ""))) +
                        " --codec " + std::to_string(codec));
        expectClean("audio greeting " + file + " " + quoted(m_out.file("g" + name)));
        expectClean("audio unwrap " + file + " " + quoted(m_out.file("u" + name + ".mp3")));
    }
    expectAudioUnchanged("the audio verbs");
    // A RIFF size of 0 or a stale one still converts the whole second of audio.
    for (const std::string name : {"ti091000091001vriff0.wav", "ti092000092001vstale.wav"}) {
        EXPECT_NEAR(soxDuration(m_out.file("g" + name)), 1.0, 0.02) << name;
        EXPECT_NEAR(soxDuration(m_out.file("c1" + name)), 1.0, 0.02) << name;
        EXPECT_NEAR(soxDuration(m_out.file("c3" + name)), 1.0, 0.02) << name;
    }
}

} // namespace
} // namespace tw
