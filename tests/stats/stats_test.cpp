// The statistics of a work (period, the three lists, archive pairing) and its export to CSV.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>

#include "stats/results_export.h"
#include "stats/work_stats.h"
#include "storage/schema.h"
#include "storage/time_stamp.h"
#include "testing/results_rows.h"
#include "testing/temp_dir.h"

namespace zb::stats::testing {
namespace {

using ::testing::ElementsAre;

// A database file of its own for every test, with the schema, the look-up indexes and the row
// builders.
struct DatabaseFile {
    DatabaseFile() {
        storage::CreateSchema(file);
        storage::EnsureLookupIndexes(file);
    }
    zb::testing::TempDir dir;
    storage::TSQLiteDatabase file{(dir / "ZarnicBox.db").string()};
};

class StatsDb : public DatabaseFile, public zb::testing::ResultsRows {
  public:
    StatsDb() : ResultsRows(file) {}
    storage::TSQLiteDatabase& db() { return file; }
};

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
}

// One meter's answers as the results grid shows them, and the whole export file byte for byte:
// quoted as RFC 4180 says (a quote, a comma, CR LF or a bare LF), empty fields left empty.
TEST(ResultsExport, MeterResultsAndWholeFileBytes) {
    StatsDb s;
    const int64_t ctr = s.AddCtr("00A1");
    const int64_t point = s.AddPoint(ctr, "0000000A", "Кв. 5");
    const int64_t lib = s.AddWorkLib("L");
    const int64_t read = s.AddTask(lib, "ZARNIC.0000.Energy");
    const int64_t arc = s.AddTask(lib, "ZARNIC.0000.EnergyArchive");
    const int64_t work = s.AddWork(100, std::to_string(point));
    s.AddAnswer(work, read, point, "DONE", "a \"b\", c\r\nd\r\ne", "R", "", 10);
    s.AddAnswer(work, arc, point, "DONE", "5\r\n6\r\n7", "AR", "0000000000\r\n0000000060", 20);
    s.AddAnswer(work, 77, point, "FAIL", "E!", "AR", "0000000060", 25);
    s.AddAnswer(work, 77, 0, "FAIL", "E\n!", "R", "", 30, "0000000F");
    s.AddAnswer(work + 1, read, point, "DONE", "other work", "R", "", 40);

    const auto done = ReadMeterResults(s.db(), work, point, MeterList::Done);
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[0].request, "ZARNIC.0000.Energy");
    EXPECT_EQ(ValueCellText(done[0].value), "a \"b\", c\\d\\e");
    EXPECT_EQ(ValueHintText(ValueCellText(done[0].value)), "a \"b\", c\r\nd\r\ne");
    EXPECT_EQ(done[1].points.size(), 2u);
    const auto fail = ReadMeterResults(s.db(), work, point, MeterList::Fail);
    ASSERT_EQ(fail.size(), 1u);
    EXPECT_EQ(
        (std::vector<std::string>{fail[0].request, fail[0].opCode, fail[0].result, fail[0].value}),
        (std::vector<std::string>{"<NULL>", "AR", "FAIL", "E!"}));
    EXPECT_TRUE(fail[0].points.empty());

    std::ostringstream out;
    EXPECT_EQ(ExportWorkCsv(s.db(), work, out), 6u);
    const std::string w = std::to_string(work);
    const std::string row = "\r\n" + w + ",00A1,0000000A,Кв. 5,";
    const std::string expected =
        "\xEF\xBB\xBF"
        "Задание,Концентратор,Адрес счётчика,Точка учёта,Запрос,Операция,Результат,Время,"
        "Значение\r\n" +
        w + ",,0000000F,,<NULL>,R,FAIL," + ExportTimeText(30) + ",\"E\n!\"" + row +
        "ZARNIC.0000.Energy,R,DONE," + ExportTimeText(10) + ",\"a \"\"b\"\", c\r\nd\r\ne\"" + row +
        "ZARNIC.0000.EnergyArchive,AR,DONE,2000-01-01 00:00:00,5" + row +
        "ZARNIC.0000.EnergyArchive,AR,DONE,2000-01-01 00:01:00,6" + row +
        "ZARNIC.0000.EnergyArchive,AR,DONE,,7" + row + "<NULL>,AR,FAIL," + ExportTimeText(25) +
        ",E!\r\n";
    EXPECT_EQ(out.str(), expected);

    std::ostringstream empty;
    EXPECT_EQ(ExportWorkCsv(s.db(), 4242, empty), 0u);
    EXPECT_EQ(empty.str().substr(0, 3), "\xEF\xBB\xBF");
}

}  // namespace
}  // namespace zb::stats::testing
