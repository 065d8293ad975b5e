// Dispatch over a real database file and real mirror folders (the syntax filter, the three ways
// a work file names its meters, the Work row, uploads that are refused or fail half way), and
// the withdrawal of periodic works.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <tuple>

#include "link/mirror.h"
#include "link/service_command.h"
#include "storage/schema.h"
#include "storage/sqlite_database.h"
#include "storage/stored_text.h"
#include "testing/results_rows.h"
#include "testing/temp_dir.h"
#include "work/dispatch.h"
#include "work/periodic_removal.h"
#include "work/work_library.h"

namespace zb::work {
namespace {

namespace fs = std::filesystem;
using storage::SqlInt;
using storage::SqlText;
using Uids = std::vector<int64_t>;
using ::testing::ElementsAre;
using zb::testing::WriteFile;

// Item 0 is "all"; selecting every other item means all too, for concentrators from two on.
TEST(DispatchRules, ListsSelectEverythingWhenAllIsChosen) {
    const std::tuple<std::vector<bool>, bool, bool> rows[] = {
        {{1, 0, 0}, true, true},   {{0, 1, 1}, true, true},      {{0, 1}, false, true},
        {{0, 1, 0}, false, false}, {{0, 1, 1, 0}, false, false}, {{}, false, false}};
    for (const auto& [selected, concentrators, meters] : rows) {
        EXPECT_EQ(SelectsEveryConcentrator(selected), concentrators) << selected.size();
        EXPECT_EQ(SelectsEveryMeter(selected), meters) << selected.size();
    }
}

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

// A work without requests is refused and writes nothing; one with requests is recorded and
// written under one file name into each concentrator's inbox.
TEST_F(DispatchTest, AnUploadRecordsTheWorkAndWritesOneFileNamePerConcentrator) {
    const int64_t a1 = AddCtr("00A1"), b2 = AddCtr("00B2");
    const int64_t p = AddPoint(a1, "01", "ZARNIC");
    AddPoint(b2, "02", "ZARNIC");
    AddCtr("00C3");
    EXPECT_TRUE(UploadWork(*db_, dir_.path(), 1,
                           {.workLibUid = AddWork({}), .concentrators = {a1}, .meterItems = 1})
                    .refused);
    EXPECT_EQ(PreviewWorkFile(*db_, {.workLibUid = AddWork({})}), std::nullopt);
    EXPECT_TRUE(fs::is_empty(link::MirrorInbox(dir_.path(), "00A1")));
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
    EXPECT_EQ(Cell("SELECT COUNT(*) from Work"), "2");  // none for the refused work
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

// Two concentrators running one work, one work dispatched twice to 00A1, a file without a Work
// row, one of a deleted library work and one that is no XML file.
TEST(PeriodicRemoval, FillListsLibraryWorksAndWithdrawsEachConcentratorsOwnFile) {
    zb::testing::TempDir dir;
    storage::TSQLiteDatabase db((dir / "ZarnicBox.db").string());
    storage::CreateSchema(db);
    zb::testing::ResultsRows rows(db);
    const auto addCtr = [&](const std::string& id, const std::string& comment = "") {
        link::CreateMirrorFolders(dir.path(), id);
        return rows.AddCtr(id, comment);
    };
    const auto periodic = [&](const std::string& ctrId, const std::string& file, int64_t lib) {
        if (lib != 0) {
            rows.AddWork(0, "", 1, 1, "W", 1, file, lib);
        }
        WriteFile(link::MirrorDir(dir.path(), ctrId) / "ROOT/WORK/PERIODIC" / file, "<root/>");
    };
    const auto inbox = [&](const std::string& ctrId) {
        return link::MirrorInbox(dir.path(), ctrId);
    };
    const int64_t a = addCtr("00A1", "Подстанция");
    const int64_t b = addCtr("00B2");
    addCtr("00C3");  // no periodic folder at all
    std::filesystem::remove_all(link::MirrorDir(dir.path(), "00C3") / "ROOT/WORK/PERIODIC");
    const int64_t daily = rows.AddWorkLib("Сутки");
    const int64_t gone = rows.AddWorkLib("Удалённое");
    periodic("00A1", "w-0F3A00C1B2D49E08.xml", daily);
    periodic("00A1", "w-0F3A00C1B2D49E07.xml", daily);
    periodic("00B2", "w-0000000000000003.xml", daily);
    periodic("00B2", "w-0000000000000004.xml", gone);
    db.ExecuteSql("DELETE FROM WorkLib WHERE UID=" + SqlInt(gone));
    periodic("00B2", "w-00000000000000FF.xml", 0);
    periodic("00B2", "notes.txt", daily);

    const PeriodicWorks works = FillPeriodicWorks(db, dir.path());
    ASSERT_EQ(works.concentrators.size(), 3u);
    EXPECT_EQ(works.concentrators[0].text, "00A1 [Подстанция]");
    EXPECT_THAT(works.workNames, ElementsAre("Сутки"));
    ASSERT_EQ(works.entries.size(), 3u);

    // Selecting the work selects both concentrators; one concentrator selects its works.
    EXPECT_THAT(ConcentratorsRunning(works, {"Сутки"}), ElementsAre(a, b));
    EXPECT_THAT(WorksOn(works, {b}), ElementsAre("Сутки"));

    // One upload: one command into each mirror, each naming that concentrator's own file (the
    // first one found on 00A1); the concentrator without the work gets nothing. The command's
    // bytes are pinned by the link's tests.
    const auto plan = PlanWithdrawals(works, {a, b, a + 2}, {"Сутки", "Чужое"});
    ASSERT_EQ(plan.size(), 2u);
    QueueWithdrawals(dir.path(), plan);
    EXPECT_TRUE(std::filesystem::exists(inbox("00A1") / "DeleteFile_w-0F3A00C1B2D49E07.xml.xml"));
    EXPECT_TRUE(std::filesystem::exists(inbox("00B2") / "DeleteFile_w-0000000000000003.xml.xml"));
    EXPECT_FALSE(std::filesystem::exists(inbox("00A1") / "DeleteFile_w-0F3A00C1B2D49E08.xml.xml"));
    EXPECT_TRUE(std::filesystem::is_empty(inbox("00C3")));

    // A mirror without its inbox: the write fails with the link's error.
    std::filesystem::remove_all(inbox("00A1"));
    EXPECT_THROW(QueueWithdrawals(dir.path(), plan), link::EInOutError);
}

}  // namespace
}  // namespace zb::work
