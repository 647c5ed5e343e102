// The record pipeline on a virtual loop with real files, the real converter and, for the
// notification, a real SMTP server on loopback.
#include <filesystem>

#include <gtest/gtest.h>

#include "mail/mail_outbox.h"
#include "mainframe/record_pipeline.h"
#include "mainframe/record_views.h"
#include "mainframe/target_names.h"
#include "platform/file_util.h"
#include "platform/manual_event_loop.h"
#include "records/audio_converter.h"
#include "records/record_storage.h"
#include "tests/mail/smtp_server_process.h"
#include "tests/records/test_util.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace test;

class FakeViews : public RecordViews
{
public:
    void recordAdded(const RecordInfo& info) override { added.push_back(info.startTime); }
    void addRecentRecord(std::uint32_t startTime) override { recent.push_back(startTime); }
    bool releaseRecord(std::uint32_t startTime) override
    {
        released.push_back(startTime);
        return holdsPlayer;
    }
    void reopenRecord(std::uint32_t startTime) override { reopened.push_back(startTime); }

    bool holdsPlayer = false;
    std::vector<std::uint32_t> added, recent, released, reopened;
};

std::vector<std::string> filesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string nameOf(const std::string& path)
{
    return fs::path(path).filename().string();
}

class PipelineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_storage.OpenStorageFolder(m_dir.file("records"), nullptr));
        m_pipeline.setViews(&m_views);
    }

    RecordInfo record(std::uint32_t type, int minute, const std::string& partner = "caller1")
    {
        return makeRecordFile(m_dir.file("records"), type, localTime(2007, 7, 20, 14, minute, 6), 5,
                              partner);
    }
    void settle()
    {
        ASSERT_TRUE(m_pipeline.WaitIdle(60s));
        m_loop.runPending();
    }
    void setCodecs(int codec, int forEmail = 0)
    {
        PipelineSettings s = m_pipeline.settings();
        s.nACodec = codec;
        s.nACodecForEmail = forEmail;
        m_pipeline.setSettings(s);
    }
    /// Voice mails mailed, both codecs as given.
    PipelineSettings mailing(int codec, int forEmail) const
    {
        PipelineSettings s;
        s.fVoiceMailEmail = true;
        s.nACodec = codec;
        s.nACodecForEmail = forEmail;
        s.fromName = "Tellwick";
        s.EmailFrom = "me@example.com";
        s.EmailTo = "bob@example.com";
        return s;
    }
    std::string indexedPath(const RecordInfo& info) const
    {
        const auto found = m_storage.Index().FindRecord(info.startTime);
        return found ? found->Path() : "";
    }

    TempDir m_dir;
    ManualEventLoop m_loop;
    CRecordStorage m_storage;
    CAudioConverter m_converter;
    CMailOutbox m_outbox;
    FakeViews m_views;
    CRecordPipeline m_pipeline{m_storage, m_converter, &m_outbox, m_loop};
};

TEST(TargetNames, ConvertedMp3AndMailCopyNames)
{
    EXPECT_EQ(MakeTargetName("/r/tiv.wav", 0, true), "/r/tiv_em.wav");
    EXPECT_EQ(MakeTargetName("/r/tiv.wav", 3, true), "/r/tiv_em.wav");
    EXPECT_EQ(MakeTargetName("/r/tiv.wav", 4, true), "/r/tiv_em.mp3");
    EXPECT_EQ(MakeTargetName("/r/tiv.wav", 4, false), "/r/tiv.mp3");
    EXPECT_EQ(MakeTargetName("/r/tiv.wav", 9, false), "/r/tiv.mp3");
    EXPECT_EQ(ConvertedWavName("/r/tiv.WAV"), "/r/tiv_1.WAV");
    EXPECT_EQ(UnwrappedMp3Name("/r/tiv_1.wav", 6), "/r/tiv.mp3");
    EXPECT_EQ(UnwrappedMp3Name("/r/tiv_em.wav", 4), "/r/tiv_em.mp3");
    EXPECT_EQ(MakeTargetName("a", 0, false), ".wav"); // too short to hold an extension
    EXPECT_TRUE(IsConvertedWavName("/r/x_1.wav"));
    EXPECT_FALSE(IsConvertedWavName("/r/x_1.WAV"));
}

TEST_F(PipelineTest, EveryCodecLeavesTheRecordUnderItsFinalNameWithItsDescription)
{
    struct Case
    {
        int codec;
        bool mp3;     // the record becomes N.mp3
        int detected; // DetectCodec of the final file
    };
    const Case cases[] = {{0, false, 0}, {1, false, 1}, {2, true, 4}, {3, false, 3}, {4, true, 4}};
    int minute = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE("codec " + std::to_string(c.codec));
        if (c.codec == kCodecLame && !m_converter.LameAvailable()) {
            ADD_FAILURE() << "the lame program is missing";
            continue;
        }
        setCodecs(c.codec);
        const RecordInfo info = record(RECORD_VOICEMAIL, ++minute);
        const std::string recorded = info.Path();
        const std::string folder = fs::path(recorded).parent_path().string();
        m_views.holdsPlayer = c.codec == kCodecAdpcm;
        m_pipeline.StartRecordAdd(info, RECORD_VOICEMAIL);
        settle();

        const std::string final = c.mp3 ? UnwrappedMp3Name(recorded, 4) : recorded;
        EXPECT_EQ(indexedPath(info), final);
        EXPECT_EQ(CAudioConverter::DetectCodec(final), c.detected);
        EXPECT_EQ(fs::exists(recorded), !c.mp3);
        // One file per record: no "_1.wav", no stray copy.
        EXPECT_EQ(filesIn(folder).size(), static_cast<std::size_t>(minute));
        RecordInfo chunk;
        EXPECT_EQ(ReadRecordInfo(final, chunk), !c.mp3);
        if (!c.mp3) {
            EXPECT_EQ(chunk.Path(), final);
        }
        EXPECT_EQ(m_views.added.back(), info.startTime);
        EXPECT_EQ(m_views.recent.back(), info.startTime);
    }
    // Only a conversion releases the players, and a player that let go gets the file back.
    EXPECT_EQ(m_views.released.size(), 4u);
    EXPECT_EQ(m_views.reopened.size(), 1u);
}

TEST_F(PipelineTest, ARecordDeletedDuringItsConversionLeavesNoFile)
{
    setCodecs(kCodecGsm);
    const RecordInfo info = record(RECORD_CONVERSATION, 1);
    ASSERT_EQ(m_storage.Index().AddRecord(info), 1);
    ASSERT_TRUE(m_pipeline.ThreadRecordConv(info.Path(), info.startTime));
    const std::string folder = fs::path(info.Path()).parent_path().string();
    EXPECT_EQ(filesIn(folder).size(), 2u); // the record and its converted twin
    ASSERT_TRUE(m_storage.Index().DeleteRecord(info.startTime, true));
    m_loop.runPending();
    EXPECT_TRUE(filesIn(folder).empty());
    EXPECT_TRUE(m_storage.Index().IsEmpty());
}

TEST_F(PipelineTest, AFailedConversionLeavesTheRecordAsItWas)
{
    setCodecs(kCodecAdpcm);
    const RecordInfo info = record(RECORD_VOICEMAIL, 1);
    ASSERT_EQ(m_storage.Index().AddRecord(info), 1);
    const std::string bytes = readFile(info.Path());
    // The converted file cannot be written: a folder holds its name.
    fs::create_directory(ConvertedWavName(info.Path()));
    EXPECT_FALSE(m_pipeline.ThreadRecordConv(info.Path(), info.startTime));
    m_loop.runPending();
    EXPECT_EQ(readFile(info.Path()), bytes);
    EXPECT_EQ(indexedPath(info), info.Path());
    EXPECT_TRUE(m_views.released.empty());

    // A second record under the same start time is refused and never converted, so the
    // first record's file is not replaced by it.
    fs::remove(ConvertedWavName(info.Path()));
    RecordInfo twin = info;
    twin.SetPath(fs::path(info.Path()).replace_filename("twin.wav").string());
    writePcmWav(twin.Path(), 3200);
    EXPECT_FALSE(m_pipeline.ThreadRecordAdd(twin, RECORD_VOICEMAIL));
    settle();
    EXPECT_EQ(readFile(info.Path()), bytes);
    EXPECT_EQ(CAudioConverter::DetectCodec(twin.Path()), kCodecPcm);
}

TEST_F(PipelineTest, VoiceMailsAreMailedWithTheirCopyAndConversationsAreNot)
{
    SmtpServerProcess server;
    ASSERT_TRUE(server.isRunning());
    m_outbox.SetAccount(server.address(), "", "");
    PipelineSettings s = mailing(kCodecPcm, kCodecPcm);
    m_pipeline.setSettings(s);

    const RecordInfo talk = record(RECORD_CONVERSATION, 1, "caller2");
    const RecordInfo voice = record(RECORD_VOICEMAIL, 2);
    const std::string recorded = readFile(voice.Path());
    m_pipeline.StartRecordAdd(talk, RECORD_CONVERSATION);
    m_pipeline.StartRecordAdd(voice, RECORD_VOICEMAIL);
    settle();
    ASSERT_TRUE(m_outbox.WaitIdle(60s));
    ASSERT_EQ(server.messageCount(), 1u);
    const std::string text = "Voice mail from caller1 at 2007/07/20 14:02:06.";
    const std::string message = server.read(1, "eml");
    EXPECT_TRUE(has(message, "\r\nSubject: " + text + "\r\n")); // "Default": the body text
    EXPECT_TRUE(has(message, "\r\n\r\n" + text + "\r\n"));
    EXPECT_TRUE(has(message, "name=\"" + nameOf(MakeTargetName(voice.Path(), 0, true)) + "\""));
    EXPECT_EQ(server.read(1, "part0"), recorded); // the copy: the recording before its chunk
    EXPECT_FALSE(fs::exists(MakeTargetName(voice.Path(), 0, true)));

    // An mp3 copy under its own name, and the subject the user wrote.
    s.nACodecForEmail = kCodecMp3Wave;
    s.EmailSubject = "New message";
    m_pipeline.setSettings(s);
    const RecordInfo second = record(RECORD_VOICEMAIL, 3);
    m_pipeline.StartRecordAdd(second, RECORD_VOICEMAIL);
    settle();
    ASSERT_TRUE(m_outbox.WaitIdle(60s));
    ASSERT_EQ(server.messageCount(), 2u);
    EXPECT_TRUE(has(server.read(2, "eml"), "\r\nSubject: New message\r\n"));
    const std::string copy = MakeTargetName(second.Path(), kCodecLame, true);
    EXPECT_TRUE(has(server.read(2, "eml"), "name=\"" + nameOf(copy) + "\""));
    const std::string mp3 = server.read(2, "part0");
    ASSERT_GT(mp3.size(), 100u);
    EXPECT_EQ(static_cast<unsigned char>(mp3[0]), 0xFFu); // an MPEG frame, not a WAV
    EXPECT_EQ(filesIn(fs::path(copy).parent_path().string()).size(), 3u); // the records only
}

TEST_F(PipelineTest, StopFinishesEveryRecordAndKeepsWaitingMailsForTheNextStart)
{
    const std::string data = m_dir.file("data");
    fs::create_directories(data);
    m_outbox.SetMailFolder(data);
    m_outbox.SetAccount("127.0.0.1:1", "", ""); // nobody listens: mails wait in the queue
    m_pipeline.setSettings(mailing(kCodecAdpcm, kCodecAdpcm));
    std::vector<RecordInfo> records;
    for (int minute = 1; minute <= 6; ++minute) {
        records.push_back(record(minute % 2 ? RECORD_VOICEMAIL : RECORD_CONVERSATION, minute));
        m_pipeline.StartRecordAdd(records.back(), records.back().type);
    }
    m_pipeline.Stop();
    m_outbox.Stop();
    // No "_1.wav" is left; each voice mail keeps its e-mail copy for the mail still waiting.
    const std::string folder = fs::path(records[0].Path()).parent_path().string();
    EXPECT_EQ(filesIn(folder).size(), records.size() + 3);

    // The next start finds every record, converted, in the saved index, and every mail.
    CRecordStorage next;
    ASSERT_TRUE(next.OpenStorageFolder(m_dir.file("records"), nullptr));
    ASSERT_EQ(next.Index().GetRecordCount(), records.size());
    for (const RecordInfo& r : records) {
        EXPECT_EQ(CAudioConverter::DetectCodec(r.Path()), kCodecAdpcm);
        RecordInfo chunk;
        EXPECT_TRUE(ReadRecordInfo(r.Path(), chunk));
        EXPECT_EQ(next.Index().FindRecord(r.startTime)->size, chunk.size);
    }
    CMailOutbox nextOutbox;
    nextOutbox.SetMailFolder(data);
    EXPECT_EQ(nextOutbox.queuedCount(), 3u);
}

} // namespace
} // namespace tw
