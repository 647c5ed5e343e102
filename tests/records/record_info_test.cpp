#include <cstring>

#include <gtest/gtest.h>

#include "records/record_info.h"
#include "tests/records/test_util.h"

namespace tw {
namespace {

using test::readFile;
using test::writeFile;

std::uint32_t le32At(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}

TEST(RecordInfoTest, BytesAreTheStoredLayout)
{
    RecordInfo info;
    info.type = RECORD_CONVERSATION;
    info.SetPath("/r/a.wav");
    info.SetSkypeName("bob");
    info.SetSecondText("x");
    info.SetFullName("Bob B");
    info.SetAnnotation("note");
    info.startTime = 0x11223344;
    info.endTime = 0x11223345;
    info.size = 0x0102030405LL;
    info.flags = RECFLAG_LOCKED | RECFLAG_PLAYED;
    std::vector<std::uint8_t> b(sizeof info);
    std::memcpy(b.data(), &info, sizeof info);
    EXPECT_EQ(le32At(b, 0), 2u);
    EXPECT_EQ(b[8], '/');
    EXPECT_EQ(b[9], 0);
    EXPECT_EQ(b[528], 'b');
    EXPECT_EQ(b[592], 'x');
    EXPECT_EQ(b[656], 'B');
    EXPECT_EQ(b[720], 'n');
    EXPECT_EQ(le32At(b, 848), 0x11223344u);
    EXPECT_EQ(le32At(b, 856), 0x02030405u);
    EXPECT_EQ(b[860], 0x01);
    EXPECT_EQ(le32At(b, 864), 0x11u);
}

TEST(RecordInfoTest, TextFieldsAreCutInUtf16UnitsAndZeroFilled)
{
    RecordInfo info;
    info.SetSkypeName(std::string(40, 'n'));
    EXPECT_EQ(info.SkypeName(), std::string(31, 'n'));
    EXPECT_EQ(info.skypeName[31], 0);
    // A surrogate pair that would straddle the limit is left out whole.
    info.SetSkypeName(std::string(30, 'a') + "\xF0\x9F\x98\x80");
    EXPECT_EQ(info.SkypeName(), std::string(30, 'a'));
    info.SetSkypeName("\xD0\xB6\xD0\xB5\xD0\xBD\xD0\xB0"); // Cyrillic survives as UTF-16
    EXPECT_EQ(info.skypeName[0], 0x0436);
    EXPECT_EQ(info.SkypeName(), "\xD0\xB6\xD0\xB5\xD0\xBD\xD0\xB0");
    EXPECT_EQ(info.skypeName[5], 0); // shorter text clears what an older one left
    // An unterminated field (hostile bytes) reads to the field's end, no further.
    std::fill(std::begin(info.fullName), std::end(info.fullName), u'z');
    EXPECT_EQ(info.FullName(), std::string(32, 'z'));
    info.TerminateTexts();
    EXPECT_EQ(info.FullName(), std::string(31, 'z'));
}

TEST(RecordInfoTest, NameTestsKeepEmailCopiesOut)
{
    EXPECT_TRUE(IsRecordWav("/a/ti101500101530v.wav"));
    EXPECT_TRUE(IsRecordWav("/a/X.WAV"));
    EXPECT_FALSE(IsRecordWav("/a/x_em.wav"));
    EXPECT_TRUE(IsRecordWav("/a/x_EM.WAV")); // the copy test is case-sensitive
    EXPECT_FALSE(IsRecordWav("/a/x.mp3"));
    EXPECT_FALSE(IsRecordWav("wav"));
    EXPECT_TRUE(IsRecordMp3("/a/x.Mp3"));
    EXPECT_FALSE(IsRecordMp3("/a/x_em.mp3"));
    EXPECT_FALSE(IsRecordMp3("/a/x.wav"));
}

class FileNameTest : public ::testing::Test
{
protected:
    test::ScopedTimeZone m_tz{"Europe/Berlin"};
};

TEST_F(FileNameTest, ParsesTimesKindAndPartner)
{
    RecordInfo info;
    EXPECT_FALSE(RecordInfoFromFileName("tix.wav", 2007, 7, 20, info));
    EXPECT_FALSE(RecordInfoFromFileName("ti10150010153xv.wav", 2007, 7, 20, info));
    EXPECT_FALSE(RecordInfoFromFileName("ti1 1500101530v.wav", 2007, 7, 20, info));
    EXPECT_FALSE(RecordInfoFromFileName("ti256000101530v.wav", 2007, 7, 20, info));

    ASSERT_TRUE(RecordInfoFromFileName("ti101500101530v.wav", 2007, 7, 20, info));
    EXPECT_EQ(info.type, RECORD_VOICEMAIL);
    EXPECT_EQ(info.origin, RECORD_ORIGIN_FILE_NAME);
    EXPECT_EQ(info.startTime, test::localTime(2007, 7, 20, 10, 15, 0));
    EXPECT_EQ(info.endTime - info.startTime, 30u);
    EXPECT_EQ(info.SkypeName(), "");

    ASSERT_TRUE(RecordInfoFromFileName("ti235950000130cbob.wav", 2007, 7, 20, info));
    EXPECT_EQ(info.type, RECORD_CONVERSATION);
    EXPECT_EQ(info.startTime, test::localTime(2007, 7, 20, 23, 59, 50));
    EXPECT_EQ(info.endTime, test::localTime(2007, 7, 21, 0, 1, 30));
    EXPECT_EQ(info.SkypeName(), "bob");

    // Same hour, earlier minute: not the next day, the entry simply ends before it starts.
    ASSERT_TRUE(RecordInfoFromFileName("ti105900105800v.mp3", 2007, 7, 20, info));
    EXPECT_LT(info.endTime, info.startTime);
}

TEST_F(FileNameTest, MidnightOnADaylightSavingDayIsTheNextDate)
{
    // 2007-10-28 has 25 hours in Berlin; "midnight + 86400 s" would stay on the 28th.
    RecordInfo info;
    ASSERT_TRUE(RecordInfoFromFileName("ti235000001000vbob.wav", 2007, 10, 28, info));
    EXPECT_EQ(info.endTime, test::localTime(2007, 10, 29, 0, 10, 0));
    EXPECT_EQ(info.endTime - info.startTime, 20u * 60);
}

TEST_F(FileNameTest, PartnerIsCutAndLookedUp)
{
    RecordInfo info;
    const std::string longName(40, 'p');
    std::string asked;
    const FullNameLookup lookup = [&](const std::string& name) {
        asked = name;
        return std::string("Pat Person");
    };
    ASSERT_TRUE(
        RecordInfoFromFileName("ti101500101530c" + longName + ".wav", 2007, 7, 20, info, lookup));
    EXPECT_EQ(info.SkypeName(), std::string(31, 'p'));
    EXPECT_EQ(asked, std::string(31, 'p'));
    EXPECT_EQ(info.FullName(), "Pat Person");
    // Odd characters in a name stay as they are.
    ASSERT_TRUE(RecordInfoFromFileName("ti101500101530v+49 (30) \xC3\xA4\xE2\x82\xAC.wav", 2007, 7,
                                       20, info));
    EXPECT_EQ(info.SkypeName(), "+49 (30) \xC3\xA4\xE2\x82\xAC");
}

TEST_F(FileNameTest, MadeNamesParseBack)
{
    const std::time_t start = test::localTime(2007, 7, 20, 23, 59, 50);
    const std::string name = MakeRecordFileName(RECORD_CONVERSATION, start, start + 100, "a/b");
    EXPECT_EQ(name, "ti235950000130ca%2Fb.wav");
    EXPECT_EQ(RecordDateFolderName(start), "2007-07-20");
    RecordInfo info;
    ASSERT_TRUE(RecordInfoFromFileName(name, 2007, 7, 20, info));
    EXPECT_EQ(info.startTime, start);
    EXPECT_EQ(info.endTime, start + 100);
}

class ChunkTest : public ::testing::Test
{
protected:
    RecordInfo infoFor(const std::string& path)
    {
        RecordInfo info;
        info.type = RECORD_VOICEMAIL;
        info.SetPath(path);
        info.SetSkypeName("bob");
        info.SetAnnotation("hello");
        info.startTime = 1000;
        info.endTime = 1010;
        info.flags = RECFLAG_LOCKED;
        return info;
    }
    test::TempFolder m_dir;
};

TEST_F(ChunkTest, AppendingTwiceLeavesOneChunk)
{
    const std::string path = m_dir / "a.wav";
    test::writePcmWav(path, 100);
    const auto original = readFile(path);
    RecordInfo info = infoFor(path);
    ASSERT_TRUE(AppendRecordInfo(info));
    const auto once = readFile(path);
    ASSERT_EQ(once.size(), original.size() + 12 + 872);
    EXPECT_TRUE(std::equal(original.begin(), original.end(), once.begin()));
    EXPECT_EQ(std::memcmp(once.data() + original.size(), "RIFF", 4), 0);
    EXPECT_EQ(le32At(once, original.size() + 4), 876u);
    EXPECT_EQ(std::memcmp(once.data() + original.size() + 8, "TWKI", 4), 0);

    info.SetAnnotation("changed");
    ASSERT_TRUE(AppendRecordInfo(info));
    EXPECT_EQ(readFile(path).size(), once.size());
    RecordInfo back;
    ASSERT_TRUE(ReadRecordInfo(path, back));
    EXPECT_EQ(back.Annotation(), "changed");
    EXPECT_EQ(std::memcmp(&back, &info, sizeof info), 0);
}

TEST_F(ChunkTest, OddWaveChunkGetsTheRecordAfterItsPadByte)
{
    const std::string path = m_dir / "odd.wav";
    test::writePcmWav(path, 5); // the writer pads the odd data, so the WAVE size is even
    auto bytes = readFile(path);
    // Make the WAVE chunk itself odd: drop the data pad byte and shrink the sizes.
    bytes.pop_back();
    const std::uint32_t riffSize = static_cast<std::uint32_t>(bytes.size() - 8);
    std::memcpy(bytes.data() + 4, &riffSize, 4);
    writeFile(path, bytes);
    ASSERT_EQ(riffSize % 2, 1u);
    ASSERT_TRUE(AppendRecordInfo(infoFor(path)));
    const auto after = readFile(path);
    ASSERT_EQ(after.size(), bytes.size() + 1 + 12 + 872);
    EXPECT_EQ(after[bytes.size()], 0); // the pad byte
    EXPECT_EQ(std::memcmp(after.data() + bytes.size() + 1, "RIFF", 4), 0);
    RecordInfo back;
    EXPECT_TRUE(ReadRecordInfo(path, back));
    EXPECT_EQ(back.SkypeName(), "bob");
}

TEST_F(ChunkTest, RefusesWhatIsNotAWaveFile)
{
    const std::string text = m_dir / "note.wav";
    writeFile(text, {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!'});
    EXPECT_FALSE(AppendRecordInfo(infoFor(text)));
    EXPECT_EQ(readFile(text).size(), 13u);
    EXPECT_FALSE(AppendRecordInfo(infoFor(m_dir / "missing.wav")));
    EXPECT_FALSE(test::readFile(m_dir / "missing.wav").size());

    // A WAVE chunk claiming more than the file holds is not extended with a hole.
    const std::string cut = m_dir / "cut.wav";
    test::writePcmWav(cut, 1000);
    auto bytes = readFile(cut);
    bytes.resize(200);
    writeFile(cut, bytes);
    EXPECT_FALSE(AppendRecordInfo(infoFor(cut)));
    EXPECT_EQ(readFile(cut), bytes);
}

TEST_F(ChunkTest, ShortOrMissingChunkIsNotRead)
{
    const std::string path = m_dir / "a.wav";
    test::writePcmWav(path, 10);
    RecordInfo back;
    EXPECT_FALSE(ReadRecordInfo(path, back)); // no chunk yet
    EXPECT_FALSE(ReadRecordInfo(m_dir / "none.wav", back));
    ASSERT_TRUE(AppendRecordInfo(infoFor(path)));
    auto bytes = readFile(path);
    const std::size_t chunkAt = bytes.size() - 884;
    // A chunk whose size field is short is still read when the bytes are there.
    bytes[chunkAt + 4] = 20;
    bytes[chunkAt + 5] = 0;
    writeFile(path, bytes);
    EXPECT_TRUE(ReadRecordInfo(path, back));
    // A file that ends inside the 872 bytes is not.
    bytes.resize(bytes.size() - 100);
    writeFile(path, bytes);
    EXPECT_FALSE(ReadRecordInfo(path, back));
    // Hostile chunk sizes end the walk instead of looping or reading past the end.
    writeFile(path, {'R', 'I', 'F', 'F', 0xFF, 0xFF, 0xFF, 0xFF, 'W', 'A', 'V', 'E', 'R', 'I'});
    EXPECT_FALSE(ReadRecordInfo(path, back));
    EXPECT_FALSE(AppendRecordInfo(infoFor(path)));
}

} // namespace
} // namespace tw
