// Loading a large index into one block of memory, and searching the default Time texts
// without formatting them: the record lists must behave exactly as with plain vectors and
// formatted texts.

#include <cstring>
#include <random>

#include <gtest/gtest.h>

#include "platform/utf.h"
#include "records/default_time_texts.h"
#include "records/index_file.h"
#include "records/record_index.h"
#include "records/record_list_sink.h"
#include "records/time_text_units.h"
#include "tests/records/test_util.h"

namespace tw {
namespace {

using namespace test;

RecordInfo entry(std::time_t start, int n)
{
    RecordInfo r;
    r.type = RECORD_VOICEMAIL;
    r.startTime = static_cast<std::uint32_t>(start);
    r.endTime = r.startTime + 30;
    r.size = 1000 + n;
    r.SetSkypeName("user" + std::to_string(n));
    r.SetPath("/r/x" + std::to_string(n) + ".mp3");
    return r;
}

/// Three days of 500 records: more than the size from which a load takes one block.
IndexTree bigTree()
{
    IndexTree tree;
    YearGroup& year = tree.years.emplace_back();
    year.stats.key = 2007;
    MonthGroup& month = year.months.emplace_back();
    month.stats.key = 7;
    for (int d = 0; d < 3; ++d) {
        DayGroup& day = month.days.emplace_back();
        day.stats.key = 20 + d;
        for (int i = 0; i < 500; ++i)
            day.records.push_back(entry(localTime(2007, 7, 20 + d, 1, 0, 0) + i * 60, d * 500 + i));
    }
    SummariseIndexTree(tree);
    return tree;
}

std::string starts(const IndexTree& tree)
{
    std::string out;
    for (const auto& y : tree.years)
        for (const auto& m : y.months)
            for (const auto& d : m.days)
                for (const auto& r : d.records)
                    out += std::to_string(r.startTime) + r.SkypeName() + ",";
    return out;
}

TEST(IndexLoadTest, LoadedDaysGrowShrinkCopyAndSaveLikeVectors)
{
    TempDir dir;
    const std::string path = dir.file("twkrdb.ndx");
    IndexTree tree = bigTree();
    ASSERT_TRUE(WriteIndexFile(path, tree));
    IndexTree loaded;
    ASSERT_TRUE(LoadIndexFile(path, loaded));
    ASSERT_EQ(starts(loaded), starts(tree));
    EXPECT_TRUE(IsPlausibleIndexTree(loaded));

    // Growing a loaded day moves it to the heap; the block is never handed to free().
    auto& first = loaded.years[0].months[0].days[0].records;
    auto& tmpl = tree.years[0].months[0].days[0].records;
    for (int i = 0; i < 40; ++i) {
        first.push_back(entry(first.back().startTime + 60, 9000 + i));
        tmpl.push_back(first.back());
    }
    auto& second = loaded.years[0].months[0].days[1].records;
    second.erase(second.begin() + 10, second.begin() + 20);
    auto& second2 = tree.years[0].months[0].days[1].records;
    second2.erase(second2.begin() + 10, second2.begin() + 20);
    // A record made in place later is zeroed, as with any vector.
    const RecordInfo kept = second.back();
    second.pop_back();
    const RecordInfo& made = second.emplace_back();
    EXPECT_EQ(made.startTime, 0u);
    EXPECT_EQ(made.path[0], u'\0');
    second.back() = kept;
    loaded.years[0].months[0].days[2].records = {};
    tree.years[0].months[0].days[2].records = {};
    ASSERT_EQ(starts(loaded), starts(tree));

    // A copy outlives the tree it came from; a moved tree keeps its block.
    IndexTree copy = loaded;
    IndexTree moved = std::move(loaded);
    loaded = IndexTree{};
    EXPECT_EQ(starts(copy), starts(tree));
    EXPECT_EQ(starts(moved), starts(tree));
    moved.years[0].months[0].days[1].records.swap(copy.years[0].months[0].days[1].records);
    SummariseIndexTree(moved);
    ASSERT_TRUE(WriteIndexFile(path, moved));
    moved = IndexTree{};
    IndexTree again;
    ASSERT_TRUE(LoadIndexFile(path, again));
    EXPECT_EQ(starts(again), starts(tree));
}

TEST(IndexLoadTest, TimeTextUnitsHoldEveryUnitOfEveryDefaultText)
{
    std::mt19937 random(17);
    for (int i = 0; i < 500; ++i) {
        const std::time_t t = 631152000 + std::time_t(random() % 1500000000u);
        TimeTextUnits units;
        units.AddStarts(t - 86400, t);
        EXPECT_TRUE(units.CanHold(toUtf16(RecordTimeText(t)))) << RecordTimeText(t);
        EXPECT_TRUE(units.CanHold(toUtf16(RecordTimeText(t - 86400)))) << RecordTimeText(t);
        EXPECT_FALSE(units.CanHold(u"user")) << RecordTimeText(t);
    }
    // Dates not looked at cannot be ruled out.
    TimeTextUnits wide;
    wide.AddStarts(631152000, 631152000 + 30 * 86400);
    EXPECT_TRUE(wide.CanHold(u"user"));
}

TEST(IndexLoadTest, DefaultTimeTextsAreTheRowTextsAcrossDaylightSavingChanges)
{
    // Berlin time: every 7 minutes and 13 seconds over two years and both changes of each,
    // then starts out of order.
    DefaultTimeTexts texts;
    const std::time_t from = localTime(2007, 1, 1, 0, 0, 0);
    for (std::time_t t = from; t < from + 2 * 366 * 86400; t += 433)
        ASSERT_EQ(texts.Text(t), toUtf16(RecordTimeText(t))) << RecordTimeText(t);
    for (const std::time_t t :
         {localTime(2007, 3, 25, 3, 0, 0) - 1, localTime(2007, 3, 25, 3, 0, 0),
          localTime(2007, 10, 28, 2, 30, 0), localTime(2007, 10, 28, 2, 30, 0) + 3600, from,
          localTime(2007, 10, 28, 23, 59, 59), std::time_t(631152000)})
        EXPECT_EQ(texts.Text(t), toUtf16(RecordTimeText(t))) << RecordTimeText(t);
}

class DefaultTimeTextSearch : public RecordFolderTest
{
};

TEST_F(DefaultTimeTextSearch, DatesClockTimesAndNamesAreFoundAsTheRowsShowThem)
{
    CRecordIndex index;
    const auto a = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 9, 5), 30, "ann");
    const auto b = rec(RECORD_CONVERSATION, at(2007, 7, 21, 23, 59), 30, "bert");
    ASSERT_TRUE(index.OpenFolder(m_dir.path()));
    const auto found = [&index](std::string_view text) {
        std::vector<std::uint32_t> out;
        index.EnumerateRecords(0, text, [&](const RecordInfo& r) { out.push_back(r.startTime); });
        return out;
    };
    for (const auto& r : {a, b}) {
        const std::string text = RecordTimeText(r.startTime);
        EXPECT_EQ(found(text), std::vector<std::uint32_t>{r.startTime}) << text;
        // Across the date and the clock part.
        EXPECT_EQ(found(text.substr(3, 9)), std::vector<std::uint32_t>{r.startTime}) << text;
    }
    EXPECT_EQ(found("BERT"), std::vector<std::uint32_t>{b.startTime});
    EXPECT_EQ(found("07/2"), (std::vector<std::uint32_t>{a.startTime, b.startTime}));
    EXPECT_TRUE(found("zebra").empty());
}

} // namespace
} // namespace tw
