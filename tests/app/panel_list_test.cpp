#include <set>
#include <tuple>

#include <gtest/gtest.h>

#include "app/panel_list.h"
#include "tests/platform/temp_dir.h"

namespace tw {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;
using Records = std::vector<std::uint32_t>;

struct KnownRecords : RecordKeyLookup
{
    std::set<std::uint32_t> keys;
    bool hasRecord(std::uint32_t startTime) const override { return keys.count(startTime) != 0; }
};

TEST(PanelList, LoadKeepsKnownRecordsAndAPositionInRange)
{
    TempDir dir;
    KnownRecords index;
    index.keys = {1184943486, 1184943600, 5};
    const std::tuple<std::string, Records, int> cases[] = {
        // One unknown record of three: two remain, at position 2.
        {"nCount=3\nnRecordCur=5\nRecord1=1184943486\nRecord2=1184000000\nRecord3=1184943600\n",
         {1184943486, 1184943600},
         2},
        // Keys past nCount, zero values, damaged names and a negative position.
        {"nCount=2\nnRecordCur=-3\nRecord02=1184943600\nRecord1=0\nrecord2=1184943600\n"
         "Record3=1184943486\n",
         {1184943600},
         0},
        {"nCount=1\nnRecordCur=1\nRecord1=77\n", {}, 0},
        {std::string("nCount=1\nRecord1=5\n\0", 20), {}, 0}, // binary
        // A damaged count does not mean two billion lookups.
        {"nCount=2147483647\nRecord2000000000=5\n", {5}, 0},
    };
    for (const auto& [text, records, current] : cases) {
        writeFile(dir.file("splist.ini"), "[SPList]\n" + text);
        const PanelList list = LoadPanelList(dir.file("splist.ini"), index);
        EXPECT_EQ(list.records, records) << text;
        EXPECT_EQ(list.current, current) << text;
    }
    EXPECT_TRUE(LoadPanelList(dir.file("missing.ini"), index).records.empty());
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
    EXPECT_EQ(list.records, (Records{30, 3000000000u}));
    EXPECT_EQ(list.current, 2);
}

} // namespace
} // namespace tw
