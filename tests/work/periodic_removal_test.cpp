#include "work/periodic_removal.h"

#include <gmock/gmock.h>

#include "link/mirror.h"
#include "link/service_command.h"
#include "storage/schema.h"
#include "storage/stored_text.h"
#include "testing/results_rows.h"
#include "testing/temp_dir.h"

namespace zb::work {
namespace {

using storage::SqlInt;
using ::testing::ElementsAre;
using zb::testing::ReadFile;
using zb::testing::WriteFile;

class PeriodicRemoval : public ::testing::Test {
  protected:
    int64_t AddCtr(const std::string& id, const std::string& comment = "") {
        link::CreateMirrorFolders(dir_.path(), id);
        return rows_.AddCtr(id, comment);
    }
    // A dispatch of the library work whose file now lies in the concentrator's periodic folder.
    void Dispatch(const std::string& ctrId, const std::string& file, int64_t lib) {
        rows_.AddWork(0, "", 1, 1, "W", 1, file, lib);
        Periodic(ctrId, file);
    }
    void Periodic(const std::string& ctrId, const std::string& file) {
        WriteFile(link::MirrorDir(dir_.path(), ctrId) / "ROOT/WORK/PERIODIC" / file, "<root/>");
    }
    std::filesystem::path Inbox(const std::string& ctrId) {
        return link::MirrorInbox(dir_.path(), ctrId);
    }

    zb::testing::TempDir dir_;
    std::unique_ptr<storage::TSQLiteDatabase> db_ = [this] {
        auto db = std::make_unique<storage::TSQLiteDatabase>((dir_ / "ZarnicBox.db").string());
        storage::CreateSchema(*db);
        return db;
    }();
    zb::testing::ResultsRows rows_{*db_};
};

TEST_F(PeriodicRemoval, FillListsLibraryWorksAndSkipsUnknownFiles) {
    const int64_t a = AddCtr("00A1", "Подстанция");
    const int64_t b = AddCtr("00B2");
    AddCtr("00C3");  // no periodic folder at all
    std::filesystem::remove_all(link::MirrorDir(dir_.path(), "00C3") / "ROOT/WORK/PERIODIC");
    const int64_t daily = rows_.AddWorkLib("Сутки");
    const int64_t gone = rows_.AddWorkLib("Удалённое");
    Dispatch("00A1", "w-0F3A00C1B2D49E08.xml", daily);
    Dispatch("00A1", "w-0F3A00C1B2D49E07.xml", daily);  // dispatched twice to 00A1
    Dispatch("00B2", "w-0000000000000003.xml", daily);
    Dispatch("00B2", "w-0000000000000004.xml", gone);
    db_->ExecuteSql("DELETE FROM WorkLib WHERE UID=" + SqlInt(gone));
    Periodic("00B2", "w-00000000000000FF.xml");  // no Work row
    Periodic("00B2", "notes.txt");

    const PeriodicWorks works = FillPeriodicWorks(*db_, dir_.path());
    ASSERT_EQ(works.concentrators.size(), 3u);
    EXPECT_EQ(works.concentrators[0].text, "00A1 [Подстанция]");
    EXPECT_EQ(works.concentrators[1].text, "00B2");
    EXPECT_THAT(works.workNames, ElementsAre("Сутки"));
    ASSERT_EQ(works.entries.size(), 3u);
    EXPECT_EQ(works.entries[0].fileName, "w-0F3A00C1B2D49E07.xml");
    EXPECT_EQ(works.entries[2].ctrUid, b);

    // Selecting the work selects both concentrators; one concentrator selects its works.
    EXPECT_THAT(ConcentratorsRunning(works, {"Сутки"}), ElementsAre(a, b));
    EXPECT_THAT(WorksOn(works, {b}), ElementsAre("Сутки"));
    EXPECT_TRUE(WorksOn(works, {a + 100}).empty());

    // One upload: one command into each mirror, each naming that concentrator's own file (the
    // first one found on 00A1); the concentrator without the work gets nothing.
    const auto plan = PlanWithdrawals(works, {a, b, a + 2}, {"Сутки", "Чужое"});
    ASSERT_EQ(plan.size(), 2u);
    QueueWithdrawals(dir_.path(), plan);
    const std::string command = ReadFile(Inbox("00A1") / "DeleteFile_w-0F3A00C1B2D49E07.xml.xml");
    EXPECT_NE(command.find("<req Var=\"DeleteFile\" OpCode=\"W\" "
                           "Value=\"ROOT\\WORK\\PERIODIC\\w-0F3A00C1B2D49E07.xml\"/>"),
              std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(Inbox("00B2") / "DeleteFile_w-0000000000000003.xml.xml"));
    EXPECT_FALSE(std::filesystem::exists(Inbox("00A1") / "DeleteFile_w-0F3A00C1B2D49E08.xml.xml"));
    EXPECT_TRUE(std::filesystem::is_empty(Inbox("00C3")));

    // A mirror without its inbox: the write fails with the link's error.
    std::filesystem::remove_all(Inbox("00A1"));
    EXPECT_THROW(QueueWithdrawals(dir_.path(), plan), link::EInOutError);
}

}  // namespace
}  // namespace zb::work
