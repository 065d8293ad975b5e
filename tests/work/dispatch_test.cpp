// Dispatch over a real database file and real mirror folders: the syntax filter, the three ways
// a work file names its meters, the Work row, and uploads that are refused or fail half way.
#include <gtest/gtest.h>

#include "link/mirror.h"
#include "link/service_command.h"
#include "storage/schema.h"
#include "storage/sqlite_database.h"
#include "storage/stored_text.h"
#include "testing/temp_dir.h"
#include "work/dispatch.h"
#include "work/work_library.h"

namespace zb::work {
namespace {

namespace fs = std::filesystem;
using storage::SqlInt;
using storage::SqlText;
using Uids = std::vector<int64_t>;

class DispatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        bool created = false;
        db_ = storage::OpenProgramDatabase((dir_ / "ZarnicBox.db").string(), created);
    }

    int64_t AddCtr(const std::string& id, bool mirror = true) {
        if (mirror) {
            link::CreateMirrorFolders(dir_.path(), id);
        }
        return db_->InsertSql("INSERT into CTR (ID,Comment) values(" + SqlText(id) + ",'')");
    }
    int64_t AddPoint(int64_t ctr, const std::string& addr, const std::string& syntax,
                     int64_t category = 0) {
        return db_->InsertSql(
            "INSERT into MeasuringPoint (MeterADDR,Syntax,CtrUID,CustomGroupUID) values(" +
            SqlText(addr) + "," + SqlText(syntax) + "," + SqlInt(ctr) + "," + SqlInt(category) +
            ")");
    }
    // A work with requests of the given syntaxes.
    int64_t AddWork(const std::vector<std::string>& syntaxes, bool periodic = false) {
        const int64_t work = InsertWork(*db_, WorkRow({"W", periodic, "1 DAY", "1 DAY"}));
        for (const std::string& syntax : syntaxes) {
            InsertTask(*db_, work, TaskRow({.syntax = syntax, .var = "0001.PowerActive"}));
        }
        return work;
    }
    std::string Cell(const std::string& sql) {
        return storage::StoredTextDecode(db_->QueryTable(sql)->FieldText(0));
    }
    std::string InboxFile(const std::string& id, const std::string& name) {
        const fs::path path = link::MirrorInbox(dir_.path(), id) / name;
        return fs::exists(path) ? testing::ReadFile(path) : "<none>";
    }
    testing::TempDir dir_;
    std::unique_ptr<storage::TSQLiteDatabase> db_;
};

// Item 0 is "all"; selecting every other item means all too, for concentrators from two on.
TEST(DispatchRules, ListsSelectEverythingWhenAllIsChosen) {
    const std::tuple<std::string, bool, bool> rows[] = {
        {"100", true, true},    {"011", true, true}, {"01", false, true}, {"010", false, false},
        {"0110", false, false}, {"1", true, true},   {"0", false, false}, {"", false, false}};
    for (const auto& [items, concentrators, meters] : rows) {
        std::vector<bool> selected;
        for (const char item : items) {
            selected.push_back(item == '1');
        }
        EXPECT_EQ(SelectsEveryConcentrator(selected), concentrators) << items;
        EXPECT_EQ(SelectsEveryMeter(selected), meters) << items;
    }
}

TEST_F(DispatchTest, TheSyntaxFilterNamesEveryRequestsSyntax) {
    const auto condition = [](const char* syntax) { return "(Syntax=" + SqlText(syntax) + ")"; };
    EXPECT_EQ(BuildSyntaxFilter(*db_, AddWork({"ZARNIC", "M-230", "ZARNIC"})),
              condition("ZARNIC") + " OR " + condition("M-230") + " OR " + condition("ZARNIC"));
    EXPECT_EQ(BuildSyntaxFilter(*db_, AddWork({})), "");
    // A hand-made request without Syntax adds nothing.
    const int64_t work = AddWork({"M-200"});
    InsertTask(*db_, work, {"x", "", "<task>\r\n  <req Var=\"v\"/>\r\n</task>\r\n"});
    EXPECT_EQ(BuildSyntaxFilter(*db_, work), condition("M-200"));
}

TEST_F(DispatchTest, TheThreeWaysOfNamingTheMeters) {
    const int64_t all = AddCtr("00A1"), mixed = AddCtr("00B2"), empty = AddCtr("00C3");
    const Uids allPoints{AddPoint(all, "01", "ZARNIC"), AddPoint(all, "02", "M-230")};
    const int64_t m1 = AddPoint(mixed, "11", "ZARNIC");
    AddPoint(mixed, "12", "M-200");
    const int64_t m3 = AddPoint(mixed, "13", "M-230", 7);
    const int64_t work = AddWork({"ZARNIC", "M-230"});
    const auto source = ReadWorkSource(*db_, work);
    ASSERT_TRUE(source);
    // Choosing a category preselects its meters of the work's syntaxes, on any concentrator.
    EXPECT_EQ(MatchingMeterUids(*db_, 7, BuildSyntaxFilter(*db_, work)), std::set<int64_t>{m3});
    EXPECT_TRUE(MatchingMeterUids(*db_, 0, "").empty());
    const DispatchChoice everything{.allConcentrators = true, .allMeters = true, .meterItems = 1};
    const DispatchChoice fiveOfFive{.allMeters = true,
                                    .meterItems = 6,
                                    .meters = {{1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}, {5, "e"}}};
    const struct {
        DispatchChoice choice;
        int64_t ctr, category;
        std::string targets;
        int64_t meters;
        Uids points;
    } rows[] = {
        // a) every concentrator and meter: ANY when every point passes the filters.
        {everything, all, 0, "ANY", 2, allPoints},
        {everything, mixed, 0, "11,13", 2, {m1, m3}},
        {everything, mixed, 7, "13", 1, {m3}},
        {everything, empty, 0, "ANY", 0, {}},
        // b) all meters of one concentrator with 5 meters; of several (but not all) ones.
        {fiveOfFive, all, 0, "ANY", 5, {1, 2, 3, 4, 5}},
        {{.allMeters = true, .meterItems = 1}, all, 0, "ANY", 0, {}},
        // c) chosen meters, in list order.
        {{.meterItems = 4, .meters = {{m3, "13"}, {m1, "11"}}}, mixed, 0, "13,11", 2, {m3, m1}}};
    for (const auto& row : rows) {
        const WorkFile file =
            BuildWorkFile(*db_, *source, row.choice, true, true, row.category, row.ctr);
        EXPECT_NE(file.text.find("<workTarget Meter=\"" + row.targets + "\"/>"), std::string::npos)
            << file.text;
        EXPECT_EQ(file.meters, row.meters) << row.targets;
        EXPECT_EQ(file.measuringPoints, row.points) << row.targets;
        EXPECT_EQ(file.taskCount, 2);
    }
}

TEST_F(DispatchTest, AnUploadRecordsTheWorkAndWritesOneFileNamePerConcentrator) {
    const int64_t a1 = AddCtr("00A1"), b2 = AddCtr("00B2");
    const int64_t p = AddPoint(a1, "01", "ZARNIC");
    AddPoint(b2, "02", "ZARNIC");
    AddCtr("00C3");
    for (const bool periodic : {false, true}) {
        const int64_t work = AddWork({"ZARNIC", "ZARNIC", "M-230"}, periodic);
        const DispatchChoice choice{.workLibUid = work,
                                    .allConcentrators = true,
                                    .concentrators = {a1, b2},
                                    .allMeters = true,
                                    .meterItems = 1};
        const UploadOutcome outcome = UploadWork(*db_, dir_.path(), 7, choice);
        ASSERT_FALSE(outcome.refused);
        EXPECT_EQ(outcome.filesWritten, 2);
        const std::string uid = SqlInt(outcome.workUid);
        EXPECT_EQ(Cell("SELECT TaskCount||'/'||WorkLibUID||'/'||FileName||'/'||OperatorUID||'/'||"
                       "MeterTotal||'/'||MPList from Work WHERE UID=" +
                       uid),
                  (periodic ? "-3/" : "3/") + std::to_string(work) + "/" + outcome.fileName +
                      "/7/2/" + std::to_string(p) + "\r\n" + std::to_string(p + 1) + "\r\n");
        const std::string fileA = InboxFile("00A1", outcome.fileName);
        const std::string fileB = InboxFile("00B2", outcome.fileName);
        const std::string uidLine =
            "<root>\r\n  <workUID Value=\"" + std::to_string(outcome.workUid) + "\"/>\r\n";
        for (const std::string& file : {fileA, fileB}) {
            EXPECT_NE(file.find(uidLine + "  <workName Value=\"W\"/>\r\n"), std::string::npos);
            EXPECT_TRUE(file.ends_with("</root>\r\n\r\n"));
        }
        EXPECT_EQ(Cell("SELECT XML from Work WHERE UID=" + uid) + "\r\n", fileB);
        EXPECT_EQ(InboxFile("00C3", outcome.fileName), "<none>");
    }
}

TEST_F(DispatchTest, AWorkWithoutRequestsIsNotDispatched) {
    const int64_t a1 = AddCtr("00A1");
    const UploadOutcome outcome = UploadWork(
        *db_, dir_.path(), 1, {.workLibUid = AddWork({}), .concentrators = {a1}, .meterItems = 1});
    EXPECT_TRUE(outcome.refused);
    EXPECT_EQ(db_->QueryTable("SELECT COUNT(*) from Work")->FieldInt64(0), 0);
    EXPECT_TRUE(fs::is_empty(link::MirrorInbox(dir_.path(), "00A1")));
    EXPECT_EQ(PreviewWorkFile(*db_, {.workLibUid = AddWork({})}), std::nullopt);
}

TEST_F(DispatchTest, AFailedWriteStopsAndTheWorkRowCountsWhatWasDelivered) {
    const int64_t a1 = AddCtr("00A1"), gone = AddCtr("00B2", false), c3 = AddCtr("00C3");
    const int64_t p = AddPoint(a1, "01", "ZARNIC");
    AddPoint(gone, "02", "ZARNIC");
    AddPoint(c3, "03", "ZARNIC");
    const DispatchChoice choice{.workLibUid = AddWork({"ZARNIC"}),
                                .allConcentrators = true,
                                .concentrators = {a1, gone, c3},
                                .allMeters = true,
                                .meterItems = 1};
    EXPECT_THROW(UploadWork(*db_, dir_.path(), 1, choice, "w-1.xml"), link::EInOutError);
    EXPECT_NE(InboxFile("00A1", "w-1.xml"), "<none>");
    EXPECT_EQ(InboxFile("00C3", "w-1.xml"), "<none>");
    EXPECT_EQ(Cell("SELECT MeterTotal||'/'||TaskCount from Work"), "1/1");
    EXPECT_EQ(Cell("SELECT MPList from Work"), std::to_string(p) + "\r\n");
    EXPECT_EQ(Cell("SELECT XML from Work") + "\r\n", InboxFile("00A1", "w-1.xml"));
}

TEST(WorkLibColumn, IsAddedToAnOldDatabaseFileOnce) {
    testing::TempDir dir;
    const std::string path = (dir / "ZarnicBox.db").string();
    storage::CreateSchema(*std::make_unique<storage::TSQLiteDatabase>(path));
    bool created = true;
    storage::OpenProgramDatabase(path, created);
    auto db = storage::OpenProgramDatabase(path, created);  // finds the column there
    db->ExecuteSql("INSERT into Work (FileName,WorkLibUID) values('w-1.xml',5)");
    EXPECT_EQ(db->QueryTable("SELECT FileName||WorkLibUID from Work")->FieldText(0), "w-1.xml5");
}

}  // namespace
}  // namespace zb::work
