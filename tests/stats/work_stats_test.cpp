#include "stats/work_stats.h"

#include <gmock/gmock.h>

#include "stats_fixture.h"

namespace zb::stats::testing {
namespace {

using ::testing::ElementsAre;

std::vector<std::string> Texts(const std::vector<MeterItem>& items) {
    std::vector<std::string> texts;
    for (const auto& item : items) {
        texts.push_back(item.text);
    }
    return texts;
}

TEST(WorkStats, PeriodOfOneDayListsTheDayAndTheNextMidnight) {
    StatsDb s;
    const Period p = PeriodOf({2026, 12, 6, 15, 30}, {2026, 12, 6});
    EXPECT_EQ(p.to - p.from, 86400);
    s.AddWork(p.from - 1, "1", 1, 1, "before");
    s.AddWork(p.from, "1", 1, 1, "first");
    s.AddWork(p.from + 43200, "1", 2, 3, "noon", 99);  // operator 99 does not exist
    s.AddWork(p.to, "1", 1, 1, "next midnight");
    s.AddWork(p.to + 1, "1", 1, 1, "after");
    s.AddWork(p.from + 60, "1", -2, 3, "periodic");
    s.AddWork(p.from + 60, "", 2, 0, "no meters");
    std::vector<std::string> listed;
    for (const auto& row : ListWorks(s.db(), p)) {
        listed.push_back(row.name + "|" + row.dateTime + "|" + row.operatorName + "|" +
                         std::to_string(row.taskCount) + "|" + std::to_string(row.meterTotal));
    }
    EXPECT_THAT(listed, ElementsAre("first|06.12.2026|Администратор|1|1",
                                    "noon|06.12.2026 12:00:00|<NULL>|2|3",
                                    "next midnight|07.12.2026|Администратор|1|1"));
}

// The three-meter case; then a list with rows that are gone and lines that are no numbers.
TEST(WorkStats, MetersSortIntoTheThreeListsAndMissingRowsNeverStopTheFill) {
    StatsDb s;
    const int64_t gone = s.AddCtr("00B2");
    const std::string orphan = std::to_string(s.AddPoint(gone, "0000000D"));
    s.db().ExecuteSql("DELETE FROM CTR WHERE UID=" + std::to_string(gone));
    const int64_t ctr = s.AddCtr("00A1");
    const int64_t all = s.AddPoint(ctr, "0000000B");
    const int64_t mixed = s.AddPoint(ctr, "0000000a");
    const int64_t silent = s.AddPoint(ctr, "0000000C");
    const int64_t work = s.AddWork(100, std::to_string(all) + "\r\n" + std::to_string(mixed) +
                                            "\r\n" + std::to_string(silent));
    // 777 has no measuring point; "x1" and "" are not numbers; the orphan is listed twice; the
    // meter that answered the first work is silent in this one.
    const int64_t odd =
        s.AddWork(100, orphan + "\r\nx1\r\n\r\n777\r\n" + std::to_string(all) + "\r\n" + orphan);
    s.AddAnswer(work, 1, all, "DONE");
    s.AddAnswer(work, 2, all, "DONE");
    s.AddAnswer(work, 1, mixed, "DONE");
    s.AddAnswer(work, 2, mixed, "FAIL");
    s.AddAnswer(odd, 1, std::stoll(orphan), "DONE");
    s.AddAnswer(odd, 1, 0, "DONE");  // a meter the store did not know: in no list
    const WorkMeters m = ReadWorkMeters(s.db(), work);
    EXPECT_THAT(Texts(m.done), ElementsAre("00A1.0000000a", "00A1.0000000B"));
    EXPECT_THAT(Texts(m.fail), ElementsAre("00A1.0000000a"));
    EXPECT_THAT(Texts(m.unknown), ElementsAre("00A1.0000000C"));
    EXPECT_EQ(m.fail[0].measuringPointUid, mixed);

    const WorkMeters o = ReadWorkMeters(s.db(), odd);
    EXPECT_THAT(Texts(o.done), ElementsAre(".0000000D"));
    EXPECT_TRUE(o.fail.empty());
    EXPECT_THAT(Texts(o.unknown), ElementsAre(".XXXXXXXX", "00A1.0000000B"));
    EXPECT_EQ(o.unknown[0].measuringPointUid, 777);
}

TEST(WorkStats, ArchiveTimesPairWithValues) {
    struct Case {
        const char* times;
        const char* values;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"0000000000\r\n0000000060", "5\r\n6", {"01.01.2000 -- 5", "01.01.2000 0:01:00 -- 6"}},
        {"0000000000\r\n0000000060", "5", {"01.01.2000 -- 5", "01.01.2000 0:01:00 -- "}},
        {"0000000060", "5\r\n6", {"01.01.2000 0:01:00 -- 5", "6"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ArchiveLines(c.times, c.values), c.lines) << c.times << " / " << c.values;
    }
    const auto points = ArchivePoints("0\r\n60\r\nbad\r\n180", "5\r\n6.5\r\n7\r\nE!");
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[1].stamp, 60);
    EXPECT_EQ(points[1].value, 6.5);
}

}  // namespace
}  // namespace zb::stats::testing
