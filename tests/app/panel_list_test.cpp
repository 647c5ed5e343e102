#include <set>

#include <gtest/gtest.h>

#include "app/panel_list.h"
#include "platform/profile_store.h"
#include "tests/platform/temp_dir.h"

namespace tw {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

struct KnownRecords : RecordKeyLookup
{
    std::set<std::uint32_t> keys;
    bool hasRecord(std::uint32_t startTime) const override { return keys.count(startTime) != 0; }
};

TEST(PanelList, SkipsUnknownAndZeroRecordsAndKeepsThePositionInRange)
{
    TempDir dir;
    const std::string path = dir.file("splist.ini");
    KnownRecords index;
    index.keys = {1184943486, 1184943600};
    writeFile(path, "[SPList]\nnCount=3\nnRecordCur=5\nRecord1=1184943486\nRecord2=1184000000\n"
                    "Record3=1184943600\n");
    PanelList list = LoadPanelList(path, index);
    EXPECT_EQ(list.records, (std::vector<std::uint32_t>{1184943486, 1184943600}));
    EXPECT_EQ(list.current, 2);

    // Keys past nCount, zero values, damaged names and a negative position.
    writeFile(path, "[SPList]\nnCount=2\nnRecordCur=-3\nRecord02=1184943600\nRecord1=0\n"
                    "record2=1184943600\nRecord3=1184943486\n");
    list = LoadPanelList(path, index);
    EXPECT_EQ(list.records, (std::vector<std::uint32_t>{1184943600}));
    EXPECT_EQ(list.current, 0);

    // Nothing known: an empty list at position 0.
    writeFile(path, "[SPList]\nnCount=1\nnRecordCur=1\nRecord1=77\n");
    list = LoadPanelList(path, index);
    EXPECT_TRUE(list.records.empty());
    EXPECT_EQ(list.current, 0);
}

TEST(PanelList, SavesInListOrderAndLeavesOlderKeys)
{
    TempDir dir;
    const std::string path = dir.file("splist.ini");
    KnownRecords index;
    // 3000000000 is past 2038: written as a signed 32-bit number, read back the same.
    index.keys = {10, 20, 30, 3000000000u};
    ASSERT_TRUE(SavePanelList(path, {{10, 20, 30}, 1}));
    ASSERT_TRUE(SavePanelList(path, {{30, 3000000000u}, 2}));
    EXPECT_EQ(readFile(path), "[SPList]\nnCount=2\nnRecordCur=2\nRecord1=30\n"
                              "Record2=-1294967296\nRecord3=30\n");
    const PanelList list = LoadPanelList(path, index);
    EXPECT_EQ(list.records, (std::vector<std::uint32_t>{30, 3000000000u}));
    EXPECT_EQ(list.current, 2);
}

TEST(PanelList, BadFilesGiveAnEmptyListQuickly)
{
    TempDir dir;
    KnownRecords index;
    index.keys = {5};
    EXPECT_TRUE(LoadPanelList(dir.file("missing.ini"), index).records.empty());
    writeFile(dir.file("binary.ini"), std::string("[SPList]\nnCount=1\nRecord1=5\n\0", 29));
    EXPECT_TRUE(LoadPanelList(dir.file("binary.ini"), index).records.empty());
    // A damaged count does not mean two billion lookups.
    writeFile(dir.file("huge.ini"), "[SPList]\nnCount=2147483647\nRecord2000000000=5\n");
    EXPECT_EQ(LoadPanelList(dir.file("huge.ini"), index).records, (std::vector<std::uint32_t>{5}));
}

} // namespace
} // namespace tw
