#include <climits>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/profile_store.h"
#include "tests/platform/temp_dir.h"

namespace tw {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

TEST(ProfileStore, LookupIsCaseInsensitiveTrimmedAndFirstMatchWins)
{
    ProfileStore store;
    store.loadText("orphan=before any section\n"
                   "; name=comment\n"
                   "# name=hash comment\n"
                   "[ Preference ]\n"
                   "  Name  =  first value  \n"
                   "name=second\n"
                   "no equals sign here\n"
                   "=no name\n"
                   "[other]\n"
                   "name=other section\n"
                   "[PREFERENCE]\n"
                   "name=duplicate section\n"
                   "late=only in the duplicate\n");
    EXPECT_EQ(store.getString("preference", "NAME"), "first value");
    EXPECT_EQ(store.getString("Other", "name"), "other section");
    EXPECT_EQ(store.getString("Preference", "late"), "only in the duplicate");
    EXPECT_FALSE(store.get("Preference", "orphan"));
    EXPECT_FALSE(store.get("Preference", "no equals sign here"));
    EXPECT_FALSE(store.get("Preference", "; name"));
    EXPECT_EQ(store.getString("Preference", "missing", "fallback"), "fallback");
    EXPECT_EQ(store.getString("Missing", "name", "fallback"), "fallback");
    // A value keeps its quotes and its inner blanks.
    store.loadText("[s]\nk= \"a  b\" \n");
    EXPECT_EQ(store.getString("s", "k"), "\"a  b\"");
}

TEST(ProfileStore, IntegersReadLeadingDigitsWithSign)
{
    ProfileStore store;
    store.loadText("[n]\na=42\nb=-7\nc=+5\nd=12abc\ne=abc\nf=\ng=99999999999\nh=-99999999999\n"
                   "i=3000000000\nj= - 3\n");
    EXPECT_EQ(store.getInt("n", "a", 9), 42);
    EXPECT_EQ(store.getInt("n", "b", 9), -7);
    EXPECT_EQ(store.getInt("n", "c", 9), 5);
    EXPECT_EQ(store.getInt("n", "d", 9), 12);
    EXPECT_EQ(store.getInt("n", "e", 9), 0);  // not a number
    EXPECT_EQ(store.getInt("n", "f", 9), 9);  // empty value: the default
    EXPECT_EQ(store.getInt("n", "zz", 9), 9); // missing: the default
    EXPECT_EQ(store.getInt("n", "g", 9), INT_MAX);
    EXPECT_EQ(store.getInt("n", "h", 9), INT_MIN);
    EXPECT_EQ(store.getInt64("n", "i", 9), 3000000000LL);
    EXPECT_EQ(store.getInt("n", "j", 9), 0);
}

TEST(ProfileStore, WritesReplaceInPlaceOrAppendAndKeepEveryOtherLine)
{
    ProfileStore store;
    store.loadText("; top comment\r\n"
                   "[A]\r\n"
                   "  Key = old ; not a comment\r\n"
                   "odd line\r\n"
                   "key=duplicate stays\r\n"
                   "\r\n"
                   "[B]\r\n"
                   "x=1\r\n");
    EXPECT_TRUE(store.set("a", "KEY", "new"));
    EXPECT_TRUE(store.set("A", "added", "2"));
    EXPECT_TRUE(store.setInt("C", "n", -5));
    EXPECT_TRUE(store.set("B", "x", std::string_view("line\r\nbreak\0x", 13)));
    EXPECT_EQ(store.text(), "; top comment\r\n"
                            "[A]\r\n"
                            "  Key=new\r\n"
                            "odd line\r\n"
                            "key=duplicate stays\r\n"
                            "added=2\r\n"
                            "\r\n"
                            "[B]\r\n"
                            "x=line  break x\r\n"
                            "\r\n"
                            "[C]\r\n"
                            "n=-5\r\n");
    EXPECT_EQ(store.getString("B", "x"), "line  break x");

    // Names that would break the file are refused.
    EXPECT_FALSE(store.set("A", "a=b", "v"));
    EXPECT_FALSE(store.set("A]", "k", "v"));
    EXPECT_FALSE(store.set("A", "", "v"));
    EXPECT_FALSE(store.set("A", "k\n[X]", "v"));
    EXPECT_FALSE(store.set("A", ";k", "v"));
    // A value that is not UTF-8 is stored readable, so a second write finds it again.
    EXPECT_TRUE(store.set("A", "bad", "a\xff"));
    EXPECT_TRUE(store.set("A", "bad", "b"));
    EXPECT_EQ(store.entries("A").size(), 4u);
}

TEST(ProfileStore, SaveKeepsTheFilesConventionsAndReplacesAtomically)
{
    TempDir dir;
    const std::string path = dir.file("conf.ini");
    writeFile(path, "\xEF\xBB\xBF[s]\r\nk=v\r\nlast=no newline");
    ::chmod(path.c_str(), 0640);
    ProfileStore store(path);
    ASSERT_EQ(store.status(), ProfileStore::LoadStatus::Ok);
    EXPECT_EQ(store.getString("s", "k"), "v");

    struct stat before
    {
    }, after{};
    ::stat(path.c_str(), &before);
    store.set("s", "k", "é");
    EXPECT_TRUE(store.save());
    EXPECT_EQ(readFile(path), "\xEF\xBB\xBF[s]\r\nk=é\r\nlast=no newline\r\n");
    ::stat(path.c_str(), &after);
    EXPECT_NE(before.st_ino, after.st_ino); // renamed over, not rewritten
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    before = after;
    EXPECT_TRUE(store.save()); // nothing changed: the file is left alone
    ::stat(path.c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino);

    // A new file gets LF and a private mode (it may hold passwords).
    EXPECT_TRUE(writeProfileString(dir.file("new.ini"), "S", "k", "v"));
    EXPECT_EQ(readFile(dir.file("new.ini")), "[S]\nk=v\n");
    ::stat(dir.file("new.ini").c_str(), &after);
    EXPECT_EQ(after.st_mode & 0077, 0u);
    EXPECT_EQ(readProfileString(dir.file("new.ini"), "s", "K"), "v");
    EXPECT_EQ(readProfileInt(dir.file("missing.ini"), "s", "k", 3), 3);

    // Through a symbolic link the target is updated and the link stays.
    ::symlink(path.c_str(), dir.file("link.ini").c_str());
    EXPECT_TRUE(writeProfileString(dir.file("link.ini"), "s", "k", "via link"));
    EXPECT_EQ(readProfileString(path, "s", "k"), "via link");
    struct stat link
    {
    };
    ::lstat(dir.file("link.ini").c_str(), &link);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
}

TEST(ProfileStore, Utf16FileIsReadAndSavedAsUtf8)
{
    TempDir dir;
    const std::string path = dir.file("wide.ini");
    std::string bytes = "\xFF\xFE";
    for (char16_t c : std::u16string(u"[s]\r\nname=Zo\u00eb\r\n")) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    writeFile(path, bytes);
    ProfileStore store(path);
    EXPECT_EQ(store.status(), ProfileStore::LoadStatus::Ok);
    EXPECT_EQ(store.getString("s", "name"), "Zo\u00eb");
    EXPECT_TRUE(store.save());
    EXPECT_EQ(readFile(path), "[s]\r\nname=Zo\u00eb\r\n");
}

TEST(ProfileStore, BadFilesReadAsDefaultsAndAreKeptWhenReplaced)
{
    TempDir dir;
    // Binary: NUL bytes.
    const std::string binary = dir.file("binary.ini");
    const std::string junk("[s]\nk=1\n\0\x01\x02", 12);
    writeFile(binary, junk);
    ProfileStore store(binary);
    EXPECT_EQ(store.status(), ProfileStore::LoadStatus::Binary);
    EXPECT_EQ(store.getInt("s", "k", 7), 7);
    store.set("s", "k", "2");
    EXPECT_TRUE(store.save());
    EXPECT_EQ(readFile(binary + ".bad"), junk);
    EXPECT_EQ(readProfileInt(binary, "s", "k", 7), 2);
    // A second bad file goes beside the first backup, not over it.
    writeFile(binary, junk + "more");
    ProfileStore again(binary);
    again.set("s", "k", "3");
    EXPECT_TRUE(again.save());
    EXPECT_EQ(readFile(binary + ".bad"), junk);
    EXPECT_EQ(readFile(binary + ".bad1"), junk + "more");

    // Lines that are not UTF-8 are kept as they are and never match; the rest still reads.
    const std::string latin1 = dir.file("latin1.ini");
    writeFile(latin1, "[s]\nname=Zo\xeb\nk=5\n");
    ProfileStore mixed(latin1);
    EXPECT_EQ(mixed.status(), ProfileStore::LoadStatus::Ok);
    EXPECT_FALSE(mixed.get("s", "name"));
    EXPECT_EQ(mixed.getInt("s", "k", 0), 5);
    mixed.set("s", "k", "6");
    EXPECT_TRUE(mixed.save());
    EXPECT_EQ(readFile(latin1), "[s]\nname=Zo\xeb\nk=6\n");

    // Too large.
    const std::string huge = dir.file("huge.ini");
    writeFile(huge, "[s]\nk=1\n" + std::string(ProfileStore::kMaxFileBytes, 'x'));
    EXPECT_EQ(ProfileStore(huge).status(), ProfileStore::LoadStatus::TooLarge);
    EXPECT_EQ(readProfileInt(huge, "s", "k", 4), 4);

    // Not a file at all.
    std::filesystem::create_directory(dir.file("folder.ini"));
    EXPECT_EQ(ProfileStore(dir.file("folder.ini")).status(), ProfileStore::LoadStatus::Unreadable);
    EXPECT_FALSE(writeProfileString(dir.file("folder.ini"), "s", "k", "v"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("folder.ini")));
}

TEST(ProfileStore, FailedSaveLeavesTheOldFileAndNoLitter)
{
    TempDir dir;
    // A path below a regular file cannot be written, even by root.
    writeFile(dir.file("plain"), "x");
    EXPECT_FALSE(writeProfileString(dir.file("plain/conf.ini"), "s", "k", "v"));
    EXPECT_FALSE(writeProfileString(dir.file("no/such/folder/conf.ini"), "s", "k", "v"));
    EXPECT_FALSE(ProfileStore().save()); // no path

    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    const std::string ro = dir.file("ro");
    std::filesystem::create_directory(ro);
    writeFile(ro + "/conf.ini", "[s]\nk=old\n");
    ::chmod(ro.c_str(), 0555);
    EXPECT_FALSE(writeProfileString(ro + "/conf.ini", "s", "k", "new"));
    EXPECT_EQ(readFile(ro + "/conf.ini"), "[s]\nk=old\n");
    ::chmod(ro.c_str(), 0755);
}

} // namespace
} // namespace tw
