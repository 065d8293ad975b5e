#include "stats/results_export.h"

#include <gtest/gtest.h>

#include <sstream>

#include "stats/work_stats.h"
#include "stats_fixture.h"
#include "storage/time_stamp.h"

namespace zb::stats::testing {
namespace {

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
