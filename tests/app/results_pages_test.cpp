// The statistics and periodic removal pages driven for real: a shown work, a meter's answers and
// tabs, the export read back; a periodic work withdrawn from two concentrators, end to end.
#include <QCalendarWidget>
#include <QListWidget>
#include <QTableWidget>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <sstream>

#include "app/stat_page.h"
#include "link/mirror.h"
#include "stats/results_export.h"
#include "storage/time_stamp.h"
#include "testing/results_rows.h"
#include "window_fixture.h"

namespace zb::apptest {
namespace {

namespace fs = std::filesystem;
using app::PageId;
using zb::testing::ReadFile;
using zb::testing::WriteFile;

using ResultsPages = WindowTest;

// A single work to meters A and B of 00A1 (A answered, with an archive read), and a periodic work
// whose file lies in the mirror of 00B2 and comes from a simulated 00A1.
TEST_F(ResultsPages, ShowAWorkAndExportItThenWithdrawAPeriodicWork) {
    int64_t work = 0;
    {
        PrepareDatabase({});
        storage::TSQLiteDatabase db((dir_ / "ZarnicBox.db").string());
        zb::testing::ResultsRows rows(db);
        for (const char* id : {"00A1", "00B2"}) {
            rows.AddCtr(id);
            link::CreateMirrorFolders(dir_.path(), id);
            rows.AddWork(0, "", -1, 1, "Сутки", 1, std::string("w-000000000000") + id + ".xml", 1);
        }
        rows.AddPoint(1, "0000000A", "A");
        db.ExecuteSql("UPDATE MeasuringPoint set MeterInfoBasic='Версия=1.2' WHERE UID=1");
        rows.AddPoint(1, "0000000B", "B");
        rows.AddTask(rows.AddWorkLib("Сутки"), "ZARNIC.0000.EnergyArchive");
        const int64_t now = storage::LocalTimeStampOf(base::LocalNow());
        work = rows.AddWork(now, "1\r\n2\r\n", 1, 2, "Опрос", 1, "w-1.xml", 1);
        rows.AddAnswer(work, 1, 1, "DONE", "5\r\n7\r\n6", "AR",
                       "0000000000\r\n0000003600\r\n0000007200", now);
        WriteFile(
            link::MirrorDir(dir_.path(), "00B2") / "ROOT/WORK/PERIODIC/w-00000000000000B2.xml",
            "<root/>");
    }
    OpenPage(PageId::Stat);
    auto* page = static_cast<app::StatPage*>(window_->PageOf(PageId::Stat));
    auto* from = Find<QCalendarWidget>("MonthCalendarWorkStatFrom");
    from->setSelectedDate(QDate::currentDate());
    emit from->clicked(QDate::currentDate());
    auto* works = Find<QTableWidget>("StringGridWorkStat");
    const auto title = [&](const char* group) { return Find<QGroupBox>(group)->title(); };
    const auto list = [&](const char* name) { return Find<QListWidget>(name); };
    auto* results = Find<QTableWidget>("StringGridWorkStatResult");
    ASSERT_EQ(works->rowCount(), 1);  // the periodic works are not listed
    ClickRow(works, 0, 1);
    Press("ButtonWorkStatShow");
    ASSERT_TRUE(Showing("LabelWorkStatWork"));
    EXPECT_EQ(Find<QLabel>("LabelWorkStatWork")->text(), QString("Задание #%1").arg(work));
    EXPECT_EQ(title("GroupBoxWorkStatDONE") + title("GroupBoxWorkStatFAIL") +
                  title("GroupBoxWorkStatUNKNOWN"),
              "DONE = 1FAIL = 0UNKNOWN = 1");

    ClickRow(list("ListBoxWorkStatDONE"), 0);
    EXPECT_EQ(title("GroupBoxWorkStatResult"), "RESULT.DONE.00A1.0000000A, запросы");
    ASSERT_EQ(results->rowCount(), 1);
    EXPECT_EQ(results->item(0, 0)->text(), "ZARNIC.0000.EnergyArchive");
    const auto series = Find<QChartView>("ChartViewWorkStat")->chart()->series();
    ASSERT_EQ(series.size(), 1);
    EXPECT_EQ(static_cast<QLineSeries*>(series[0])->count(), 3);
    auto* basic = Find<QTableWidget>("ValueListEditorWorkStatMeterInfoBasic");
    ASSERT_EQ(basic->rowCount(), 1);
    EXPECT_EQ(basic->item(0, 1)->text(), "1.2");

    const fs::path csv = dir_ / "out.csv";
    page->SetExportFileChooser(
        [&](const QString&) { return QString::fromStdString(csv.string()); });
    Press("ButtonWorkStatExport");
    std::ostringstream expected;
    stats::ExportWorkCsv(storage::Database(), work, expected);
    EXPECT_EQ(ReadFile(csv), expected.str());  // a header and three records
    EXPECT_TRUE(messages_->errors().empty());

    // The periodic work reaches the mirror of 00A1 from a simulated concentrator, is chosen
    // with both concentrators and withdrawn from both; once 00A1 confirms, the page lists it
    // for 00B2 only.
    const std::string file = "w-00000000000000A1.xml";
    const fs::path mirrored = link::MirrorDir(dir_.path(), "00A1") / "ROOT/WORK/PERIODIC" / file;
    zb::testing::TempDir ctr;
    WriteFile(ctr / "ROOT/WORK/PERIODIC" / file, "<root/>\r\n");
    ASSERT_EQ(RunConcentrator("00A1", ctr.path()), 0);
    ASSERT_TRUE(fs::exists(mirrored));

    ShowPage(PageId::Delete);
    auto* periodic = list("ListBoxWorkDelete");
    auto* ctrs = list("ListBoxWorkDeleteCtr");
    ASSERT_EQ(periodic->count(), 1);
    EXPECT_EQ(periodic->item(0)->text(), "Сутки");
    ClickRow(periodic, 0);
    EXPECT_EQ(ctrs->selectedItems().size(), 2);
    window_->StatusTick();
    Press("ButtonWorkDeleteUpLoad");
    EXPECT_TRUE(fs::exists(link::MirrorInbox(dir_.path(), "00B2") /
                           "DeleteFile_w-00000000000000B2.xml.xml"));
    ASSERT_EQ(RunConcentrator("00A1", ctr.path()), 0);
    EXPECT_TRUE(fs::exists(ctr / "ROOT/WORK/INBOX" / ("DeleteFile_" + file + ".xml")));

    // The concentrator deletes its file and reports it.
    fs::remove(ctr / "ROOT/WORK/PERIODIC" / file);
    WriteFile(ctr / "ROOT/WORK/OUTBOX/r-1.xml",
              "<result><workUID Value=\"0\"/><command><req Var=\"DeleteFile\" "
              "Value=\"ROOT\\WORK\\PERIODIC\\" +
                  file + "\"/><ans Value=\"\" Result=\"DONE\"/></command></result>");
    ASSERT_EQ(RunConcentrator("00A1", ctr.path()), 0);
    ASSERT_TRUE(WaitFor([&] {
        ClickRow(periodic, 0);
        return ctrs->selectedItems().size() == 1;
    }));
    EXPECT_EQ(ctrs->selectedItems()[0]->text(), "00B2");
}

}  // namespace
}  // namespace zb::apptest
