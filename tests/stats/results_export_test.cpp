#include "stats/results_export.h"

#include <gtest/gtest.h>

#include <sstream>

#include "stats_fixture.h"
#include "storage/time_stamp.h"

namespace zb::stats::testing {
namespace {

TEST(ResultsExport, FieldsAreQuotedAsRfc4180Says) {
    EXPECT_EQ(CsvField("plain"), "plain");
    EXPECT_EQ(CsvField(""), "");
    EXPECT_EQ(CsvField("a \"b\", c\r\nd"), "\"a \"\"b\"\", c\r\nd\"");
    EXPECT_EQ(CsvField("x\ny"), "\"x\ny\"");
    EXPECT_EQ(CsvRecord({"1", "a,b", ""}), "1,\"a,b\",\r\n");
}

TEST(ResultsExport, WholeFileBytes) {
    StatsDb s;
    const int64_t ctr = s.AddCtr("00A1");
    const int64_t point = s.AddPoint(ctr, "0000000A", "Кв. 5");
    const int64_t lib = s.AddWorkLib("L");
    const int64_t read = s.AddTask(lib, "ZARNIC.0000.Energy");
    const int64_t arc = s.AddTask(lib, "ZARNIC.0000.EnergyArchive");
    const int64_t work = s.AddWork(100, std::to_string(point));
    s.AddAnswer(work, read, point, "DONE", "a \"b\", c\r\nd", "R", "", 10);
    s.AddAnswer(work, arc, point, "DONE", "5\r\n6\r\n7", "AR", "0000000000\r\n0000000060", 20);
    s.AddAnswer(work, 77, 0, "FAIL", "E!", "R", "", 30, "0000000F");
    s.AddAnswer(work + 1, read, point, "DONE", "other work", "R", "", 40);

    std::ostringstream out;
    EXPECT_EQ(ExportWorkCsv(s.db(), work, out), 5u);
    const std::string w = std::to_string(work);
    const std::string expected =
        "\xEF\xBB\xBF"
        "Задание,Концентратор,Адрес счётчика,Точка учёта,Запрос,Операция,Результат,Время,"
        "Значение\r\n" +
        w + ",,0000000F,,<NULL>,R,FAIL," + ExportTimeText(30) + ",E!\r\n" + w +
        ",00A1,0000000A,Кв. 5,ZARNIC.0000.Energy,R,DONE," + ExportTimeText(10) +
        ",\"a \"\"b\"\", c\r\nd\"\r\n" + w +
        ",00A1,0000000A,Кв. 5,ZARNIC.0000.EnergyArchive,AR,DONE,2000-01-01 00:00:00,5\r\n" + w +
        ",00A1,0000000A,Кв. 5,ZARNIC.0000.EnergyArchive,AR,DONE,2000-01-01 00:01:00,6\r\n" + w +
        ",00A1,0000000A,Кв. 5,ZARNIC.0000.EnergyArchive,AR,DONE,,7\r\n";
    EXPECT_EQ(out.str(), expected);

    std::ostringstream empty;
    EXPECT_EQ(ExportWorkCsv(s.db(), 4242, empty), 0u);
    EXPECT_EQ(empty.str().substr(0, 3), "\xEF\xBB\xBF");
}

}  // namespace
}  // namespace zb::stats::testing
