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
using Status = ProfileStore::LoadStatus;

struct stat statOf(const std::string& path, bool ofLink = false)
{
    struct stat st = {};
    (ofLink ? ::lstat : ::stat)(path.c_str(), &st);
    return st;
}

TEST(ProfileStore, LookupIsCaseInsensitiveTrimmedAndFirstMatchWins)
{
    ProfileStore store;
    store.loadText("orphan=before any section\n; name=comment\n# name=hash comment\n"
                   "[ Preference ]\n  Name  =  first value  \nname=second\n"
                   "no equals sign here\n=no name\n[other]\nname=other section\n"
                   "[PREFERENCE]\nname=duplicate section\nlate=only in the duplicate\n");
    EXPECT_EQ(store.getString("preference", "NAME"), "first value");
    EXPECT_EQ(store.getString("Other", "name"), "other section");
    EXPECT_EQ(store.getString("Preference", "late"), "only in the duplicate");
    for (const char* key : {"orphan", "no equals sign here", "; name", "# name"})
        EXPECT_FALSE(store.get("Preference", key)) << key;
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
    // Not a number reads 0; an empty or missing value gives the default; overflow saturates.
    const std::pair<const char*, int> cases[] = {
        {"a", 42}, {"b", -7},      {"c", 5},       {"d", 12}, {"e", 0},
        {"f", 9},  {"g", INT_MAX}, {"h", INT_MIN}, {"j", 0},  {"zz", 9}};
    for (const auto& [key, want] : cases)
        EXPECT_EQ(store.getInt("n", key, 9), want) << key;
    EXPECT_EQ(store.getInt64("n", "i", 9), 3000000000LL);
}

TEST(ProfileStore, WritesReplaceInPlaceOrAppendAndKeepEveryOtherLine)
{
    ProfileStore store;
    store.loadText("; top comment\r\n[A]\r\n  Key = old ; not a comment\r\nodd line\r\n"
                   "key=duplicate stays\r\n\r\n[B]\r\nx=1\r\n");
    EXPECT_TRUE(store.set("a", "KEY", "new"));
    EXPECT_TRUE(store.set("A", "added", "2"));
    EXPECT_TRUE(store.setInt("C", "n", -5));
    EXPECT_TRUE(store.set("B", "x", std::string_view("line\r\nbreak\0x", 13)));
    EXPECT_EQ(store.text(), "; top comment\r\n[A]\r\n  Key=new\r\nodd line\r\n"
                            "key=duplicate stays\r\nadded=2\r\n\r\n[B]\r\nx=line  break x\r\n"
                            "\r\n[C]\r\nn=-5\r\n");
    EXPECT_EQ(store.getString("B", "x"), "line  break x");

    // Names that would break the file are refused.
    const std::pair<const char*, const char*> broken[] = {
        {"A", "a=b"}, {"A]", "k"}, {"A", ""}, {"A", "k\n[X]"}, {"A", ";k"}};
    for (const auto& [section, key] : broken)
        EXPECT_FALSE(store.set(section, key, "v")) << section << "/" << key;
    // A value that is not UTF-8 is stored readable, so a second write finds it again.
    EXPECT_TRUE(store.set("A", "bad", "a\xff"));
    EXPECT_TRUE(store.set("A", "bad", "b"));
    EXPECT_EQ(store.entries("A").size(), 4u);
}

TEST(ProfileStore, SaveKeepsTheFilesConventionsAndReplacesAtomicallyAndUtf16BecomesUtf8)
{
    TempDir dir;
    const std::string path = dir.file("conf.ini");
    writeFile(path, "\xEF\xBB\xBF[s]\r\nk=v\r\nlast=no newline");
    ::chmod(path.c_str(), 0640);
    ProfileStore store(path);
    EXPECT_EQ(store.getString("s", "k"), "v");

    const ino_t oldInode = statOf(path).st_ino;
    store.set("s", "k", "é");
    EXPECT_TRUE(store.save());
    EXPECT_EQ(readFile(path), "\xEF\xBB\xBF[s]\r\nk=é\r\nlast=no newline\r\n");
    const struct stat saved = statOf(path);
    EXPECT_NE(saved.st_ino, oldInode); // renamed over, not rewritten
    EXPECT_EQ(saved.st_mode & 07777, 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    EXPECT_TRUE(store.save()); // nothing changed: the file is left alone
    EXPECT_EQ(statOf(path).st_ino, saved.st_ino);

    // A new file gets LF and a private mode (it may hold passwords).
    EXPECT_TRUE(writeProfileString(dir.file("new.ini"), "S", "k", "v"));
    EXPECT_EQ(readFile(dir.file("new.ini")), "[S]\nk=v\n");
    EXPECT_EQ(statOf(dir.file("new.ini")).st_mode & 0077, 0u);

    // Through a symbolic link the target is updated and the link stays.
    ::symlink(path.c_str(), dir.file("link.ini").c_str());
    EXPECT_TRUE(writeProfileString(dir.file("link.ini"), "s", "k", "via link"));
    EXPECT_EQ(readProfileString(path, "s", "k"), "via link");
    EXPECT_TRUE(S_ISLNK(statOf(dir.file("link.ini"), true).st_mode));

    // UTF-16 is read, and saved as UTF-8.
    const std::string wide = dir.file("wide.ini");
    std::string bytes = "\xFF\xFE";
    for (char16_t c : std::u16string(u"[s]\r\nname=Zo\u00eb\r\n"))
        bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    writeFile(wide, bytes);
    ProfileStore wideStore(wide);
    EXPECT_EQ(wideStore.getString("s", "name"), "Zo\u00eb");
    EXPECT_TRUE(wideStore.save());
    EXPECT_EQ(readFile(wide), "[s]\r\nname=Zo\u00eb\r\n");
}

TEST(ProfileStore, BadFilesReadAsDefaultsAndAreKeptWhenReplacedOrNotWritable)
{
    TempDir dir;
    const std::string binary = dir.file("binary.ini");
    const std::string junk("[s]\nk=1\n\0\x01\x02", 12);
    writeFile(binary, junk);
    ProfileStore store(binary);
    EXPECT_EQ(store.status(), Status::Binary);
    EXPECT_EQ(store.getInt("s", "k", 7), 7);
    EXPECT_TRUE(store.set("s", "k", "2") && store.save());
    EXPECT_EQ(readFile(binary + ".bad"), junk);
    EXPECT_EQ(readProfileInt(binary, "s", "k", 7), 2);
    // A second bad file goes beside the first backup, not over it.
    writeFile(binary, junk + "more");
    EXPECT_TRUE(writeProfileString(binary, "s", "k", "3"));
    EXPECT_EQ(readFile(binary + ".bad"), junk);
    EXPECT_EQ(readFile(binary + ".bad1"), junk + "more");

    // A file the Windows program wrote in its ANSI code page: lines that are not UTF-8 are
    // Windows-1252, a section header among them ends the section before it, and the file is
    // saved back as UTF-8 with no second copy of the key.
    const std::string ansi = dir.file("ansi.ini");
    writeFile(ansi, "[Notification]\r\nEmailSubject=Sprachnachricht f\xFCr J\xF6rg \x80\r\n"
                    "[Gr\xFC\xDF"
                    "e]\r\nk=5\r\n");
    ProfileStore mixed(ansi);
    EXPECT_EQ(mixed.get("Notification", "EmailSubject"),
              "Sprachnachricht f\u00FCr J\u00F6rg \u20AC");
    EXPECT_FALSE(mixed.get("Notification", "k"));
    EXPECT_EQ(mixed.getInt("Gr\u00FC\u00DFe", "k", 0), 5);
    EXPECT_TRUE(mixed.set("Notification", "EmailSubject", "Sprachnachricht f\u00FCr J\u00F6rg") &&
                mixed.save());
    EXPECT_EQ(readFile(ansi),
              "[Notification]\r\nEmailSubject=Sprachnachricht f\u00FCr J\u00F6rg\r\n"
              "[Gr\u00FC\u00DFe]\r\nk=5\r\n");

    const std::string huge = dir.file("huge.ini");
    writeFile(huge, "[s]\nk=1\n" + std::string(ProfileStore::kMaxFileBytes, 'x'));
    EXPECT_EQ(ProfileStore(huge).status(), Status::TooLarge);
    EXPECT_EQ(readProfileInt(huge, "s", "k", 4), 4);

    std::filesystem::create_directory(dir.file("folder.ini"));
    EXPECT_EQ(ProfileStore(dir.file("folder.ini")).status(), Status::Unreadable);
    EXPECT_FALSE(writeProfileString(dir.file("folder.ini"), "s", "k", "v"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("folder.ini")));

    // A failed save leaves the old file and no litter.
    // A path below a regular file cannot be written, even by root.
    writeFile(dir.file("plain"), "x");
    EXPECT_FALSE(writeProfileString(dir.file("plain/conf.ini"), "s", "k", "v"));
    EXPECT_FALSE(writeProfileString(dir.file("no/such/folder/conf.ini"), "s", "k", "v"));
    EXPECT_FALSE(ProfileStore().save()); // no path

    if (::geteuid() != 0) { // root writes into read-only folders
        const std::string ro = dir.file("ro");
        std::filesystem::create_directory(ro);
        writeFile(ro + "/conf.ini", "[s]\nk=old\n");
        ::chmod(ro.c_str(), 0555);
        EXPECT_FALSE(writeProfileString(ro + "/conf.ini", "s", "k", "new"));
        EXPECT_EQ(readFile(ro + "/conf.ini"), "[s]\nk=old\n");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(ro), {}), 1);
        ::chmod(ro.c_str(), 0755);
    }
}

} // namespace
} // namespace tw
