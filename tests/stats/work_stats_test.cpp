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
    EXPECT_EQ(StampText(p.from), "06.12.2026");
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

TEST(WorkStats, ThreeMetersSortIntoTheThreeLists) {
    StatsDb s;
    const int64_t ctr = s.AddCtr("00A1");
    const int64_t all = s.AddPoint(ctr, "0000000B");
    const int64_t mixed = s.AddPoint(ctr, "0000000a");
    const int64_t silent = s.AddPoint(ctr, "0000000C");
    const int64_t work = s.AddWork(100, std::to_string(all) + "\r\n" + std::to_string(mixed) +
                                            "\r\n" + std::to_string(silent));
    s.AddAnswer(work, 1, all, "DONE");
    s.AddAnswer(work, 2, all, "DONE");
    s.AddAnswer(work, 1, mixed, "DONE");
    s.AddAnswer(work, 2, mixed, "FAIL");
    s.AddAnswer(work + 1, 1, silent, "DONE");  // another work
    const WorkMeters m = ReadWorkMeters(s.db(), work);
    EXPECT_THAT(Texts(m.done), ElementsAre("00A1.0000000a", "00A1.0000000B"));
    EXPECT_THAT(Texts(m.fail), ElementsAre("00A1.0000000a"));
    EXPECT_THAT(Texts(m.unknown), ElementsAre("00A1.0000000C"));
    EXPECT_EQ(m.unknown[0].measuringPointUid, silent);
    EXPECT_EQ(m.fail[0].measuringPointUid, mixed);
}

TEST(WorkStats, MissingRowsAndOddListLinesNeverStopTheFill) {
    StatsDb s;
    const int64_t gone = s.AddCtr("00B2");
    const int64_t orphan = s.AddPoint(gone, "0000000D");
    s.db().ExecuteSql("DELETE FROM CTR WHERE UID=" + std::to_string(gone));
    const int64_t ctr = s.AddCtr("00A1");
    const int64_t unanswered = s.AddPoint(ctr, "0000000E");
    // 777 has no measuring point; "x1" and "" are not numbers; the orphan is listed twice.
    const int64_t work =
        s.AddWork(100, std::to_string(orphan) + "\r\nx1\r\n\r\n777\r\n" +
                           std::to_string(unanswered) + "\r\n" + std::to_string(orphan));
    s.AddAnswer(work, 1, orphan, "DONE");
    s.AddAnswer(work, 1, 0, "DONE");  // a meter the store did not know: in no list
    const WorkMeters m = ReadWorkMeters(s.db(), work);
    EXPECT_THAT(Texts(m.done), ElementsAre(".0000000D"));
    EXPECT_TRUE(m.fail.empty());
    EXPECT_THAT(Texts(m.unknown), ElementsAre(".XXXXXXXX", "00A1.0000000E"));
    EXPECT_EQ(m.unknown[0].measuringPointUid, 777);
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
        {"", "", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ArchiveLines(c.times, c.values), c.lines) << c.times << " / " << c.values;
    }
    const auto points = ArchivePoints("0\r\n60\r\nbad\r\n180", "5\r\n6.5\r\n7\r\nE!");
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[1].stamp, 60);
    EXPECT_EQ(points[1].value, 6.5);
}

TEST(WorkStats, MeterResultsWithNamesArchivesAndHints) {
    StatsDb s;
    const int64_t ctr = s.AddCtr("00A1");
    const int64_t point = s.AddPoint(ctr, "0000000A");
    const int64_t lib = s.AddWorkLib("L");
    const int64_t read = s.AddTask(lib, "ZARNIC.0000.Energy");
    const int64_t arc = s.AddTask(lib, "ZARNIC.0000.EnergyArchive");
    const int64_t work = s.AddWork(100, std::to_string(point));
    s.AddAnswer(work, read, point, "DONE", "1\r\n2\r\n3");
    s.AddAnswer(work, arc, point, "DONE", "5\r\n6", "AR", "0000000000\r\n0000000060");
    s.AddAnswer(work, 999, point, "FAIL", "E!", "AR", "0000000000");
    const auto done = ReadMeterResults(s.db(), work, point, MeterList::Done);
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[0].request, "ZARNIC.0000.Energy");
    EXPECT_EQ(ValueCellText(done[0].value), "1\\2\\3");
    EXPECT_EQ(ValueHintText(ValueCellText(done[0].value)), "1\r\n2\r\n3");
    EXPECT_EQ(ValueCellText(done[1].value), "01.01.2000 -- 5\\01.01.2000 0:01:00 -- 6");
    EXPECT_EQ(done[1].points.size(), 2u);
    const auto fail = ReadMeterResults(s.db(), work, point, MeterList::Fail);
    ASSERT_EQ(fail.size(), 1u);
    EXPECT_EQ(fail[0].request, "<NULL>");
    EXPECT_EQ(fail[0].opCode, "AR");
    EXPECT_EQ(fail[0].result, "FAIL");
    EXPECT_EQ(fail[0].value, "E!");
    EXPECT_TRUE(fail[0].points.empty());
}

}  // namespace
}  // namespace zb::stats::testing
