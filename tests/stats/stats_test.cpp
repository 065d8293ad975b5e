// The statistics of a work (period, the three lists, archive pairing) and its export to CSV.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>

#include "stats/results_export.h"
#include "stats/work_stats.h"
#include "storage/schema.h"
#include "testing/results_rows.h"
#include "testing/temp_dir.h"

namespace zb::stats::testing {
namespace {

using ::testing::ElementsAre;

// A database file of its own for every test, with the schema; the row builders write to it.
struct DatabaseFile {
    DatabaseFile() { storage::CreateSchema(db); }
    zb::testing::TempDir dir;
    storage::TSQLiteDatabase db{(dir / "ZarnicBox.db").string()};
};

class WorkStats : public ::testing::Test, public DatabaseFile, public zb::testing::ResultsRows {
  protected:
    WorkStats() : ResultsRows(db) {}
};

std::vector<std::string> Texts(const std::vector<MeterItem>& items) {
    std::vector<std::string> texts;
    for (const auto& item : items) {
        texts.push_back(item.text);
    }
    return texts;
}

TEST_F(WorkStats, PeriodOfOneDayListsTheDayAndTheNextMidnight) {
    const Period p = PeriodOf({2026, 12, 6, 15, 30}, {2026, 12, 6});
    AddWork(p.from - 1, "1", 1, 1, "before");
    AddWork(p.from, "1", 1, 1, "first");
    AddWork(p.from + 43200, "1", 2, 3, "noon", 99);  // operator 99 does not exist
    AddWork(p.to, "1", 1, 1, "next midnight");
    AddWork(p.to + 1, "1", 1, 1, "after");
    AddWork(p.from + 60, "1", -2, 3, "periodic");
    AddWork(p.from + 60, "", 2, 0, "no meters");
    std::vector<std::string> listed;
    for (const auto& row : ListWorks(db, p)) {
        listed.push_back(row.name + "|" + row.dateTime + "|" + row.operatorName + "|" +
                         std::to_string(row.taskCount) + "|" + std::to_string(row.meterTotal));
    }
    EXPECT_THAT(listed, ElementsAre("first|06.12.2026|Администратор|1|1",
                                    "noon|06.12.2026 12:00:00|<NULL>|2|3",
                                    "next midnight|07.12.2026|Администратор|1|1"));
}

// The three-meter case; then a list with rows that are gone and lines that are no numbers.
TEST_F(WorkStats, MetersSortIntoTheThreeListsAndMissingRowsNeverStopTheFill) {
    const std::string orphan = std::to_string(AddPoint(99, "0000000D"));  // no CTR row 99
    const int64_t ctr = AddCtr("00A1");
    const int64_t all = AddPoint(ctr, "0000000B");
    const int64_t mixed = AddPoint(ctr, "0000000a");
    const int64_t silent = AddPoint(ctr, "0000000C");
    const int64_t work = AddWork(100, std::to_string(all) + "\r\n" + std::to_string(mixed) +
                                          "\r\n" + std::to_string(silent));
    // 777 has no measuring point; "x1" and "" are not numbers; the orphan is listed twice; the
    // meter that answered the first work is silent in this one.
    const int64_t odd =
        AddWork(100, orphan + "\r\nx1\r\n\r\n777\r\n" + std::to_string(all) + "\r\n" + orphan);
    AddAnswer(work, 1, all, "DONE");
    AddAnswer(work, 2, all, "DONE");
    AddAnswer(work, 1, mixed, "DONE");
    AddAnswer(work, 2, mixed, "FAIL");
    AddAnswer(odd, 1, std::stoll(orphan), "DONE");
    AddAnswer(odd, 1, 0, "DONE");  // a meter the store did not know: in no list
    const WorkMeters m = ReadWorkMeters(db, work);
    EXPECT_THAT(Texts(m.done), ElementsAre("00A1.0000000a", "00A1.0000000B"));
    EXPECT_THAT(Texts(m.fail), ElementsAre("00A1.0000000a"));
    EXPECT_THAT(Texts(m.unknown), ElementsAre("00A1.0000000C"));

    const WorkMeters o = ReadWorkMeters(db, odd);
    EXPECT_THAT(Texts(o.done), ElementsAre(".0000000D"));
    EXPECT_THAT(Texts(o.unknown), ElementsAre(".XXXXXXXX", "00A1.0000000B"));
    EXPECT_EQ(o.unknown[0].measuringPointUid, 777);
}

// One meter's answers as the results grid shows them (archive times paired with values, a
// three-line value in one cell and its hint), and the whole export file byte for byte: quoted
// as RFC 4180 says (a quote, a comma, CR LF or a bare LF), empty fields left empty.
TEST_F(WorkStats, MeterResultsAndTheWholeExportFile) {
    const int64_t point = AddPoint(AddCtr("00A1"), "0000000A", "Кв. 5");
    const int64_t read = AddTask(0, "ZARNIC.0000.Energy");
    const int64_t arc = AddTask(0, "ZARNIC.0000.EnergyArchive");
    const int64_t work = AddWork(100, std::to_string(point));
    AddAnswer(work, read, point, "DONE", "a \"b\", c\r\nd\r\ne", "R", "", 10);
    AddAnswer(work, arc, point, "DONE", "5\r\n6\r\n7", "AR", "0000000000\r\n0000000060", 20);
    AddAnswer(work, arc, point, "DONE", "8", "AR", "0000000000\r\n0000000060", 22);
    AddAnswer(work, 77, point, "FAIL", "E!", "AR", "0000000060", 25);
    AddAnswer(work, 77, 0, "FAIL", "E\n!", "R", "", 30, "0000000F");
    AddAnswer(work + 1, read, point, "DONE", "other work", "R", "", 40);
    const auto grid = [&](MeterList list) {
        std::vector<std::string> rows;
        for (const ResultRow& r : ReadMeterResults(db, work, point, list)) {
            rows.push_back(r.request + "|" + r.opCode + "|" + r.result + "|" + r.value + "|" +
                           std::to_string(r.points.size()));
        }
        return rows;
    };
    const std::string archive = "ZARNIC.0000.EnergyArchive|AR|DONE|01.01.2000 -- ";
    EXPECT_THAT(grid(MeterList::Done),
                ElementsAre("ZARNIC.0000.Energy|R|DONE|a \"b\", c\r\nd\r\ne|0",
                            archive + "5\r\n01.01.2000 0:01:00 -- 6\r\n7|2",
                            archive + "8\r\n01.01.2000 0:01:00 --|1"));
    EXPECT_THAT(grid(MeterList::Fail), ElementsAre("<NULL>|AR|FAIL|E!|0"));
    EXPECT_EQ(ValueCellText("a\r\nb\r\nc"), "a\\b\\c");
    EXPECT_EQ(ValueHintText("a\\b\\c"), "a\r\nb\r\nc");

    std::ostringstream out;
    EXPECT_EQ(ExportWorkCsv(db, work, out), 8u);
    const std::string w = std::to_string(work);
    const std::string row = "\r\n" + w + ",00A1,0000000A,Кв. 5,";
    const std::string arcRow = row + "ZARNIC.0000.EnergyArchive,AR,DONE,";
    const std::string expected =
        "\xEF\xBB\xBF"
        "Задание,Концентратор,Адрес счётчика,Точка учёта,Запрос,Операция,Результат,Время,"
        "Значение\r\n" +
        w + ",,0000000F,,<NULL>,R,FAIL," + ExportTimeText(30) + ",\"E\n!\"" + row +
        "ZARNIC.0000.Energy,R,DONE," + ExportTimeText(10) + ",\"a \"\"b\"\", c\r\nd\r\ne\"" +
        arcRow + "2000-01-01 00:00:00,5" + arcRow + "2000-01-01 00:01:00,6" + arcRow + ",7" +
        arcRow + "2000-01-01 00:00:00,8" + arcRow + "2000-01-01 00:01:00," + row +
        "<NULL>,AR,FAIL," + ExportTimeText(25) + ",E!\r\n";
    EXPECT_EQ(out.str(), expected);
}

}  // namespace
}  // namespace zb::stats::testing
