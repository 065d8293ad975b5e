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
using zb::testing::WriteFile;

// Two concentrators running one work, one work dispatched twice to 00A1, a file without a Work
// row and one of a deleted library work.
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
    periodic("00B2", "notes.txt", 0);

    const PeriodicWorks works = FillPeriodicWorks(db, dir.path());
    ASSERT_EQ(works.concentrators.size(), 3u);
    EXPECT_EQ(works.concentrators[0].text, "00A1 [Подстанция]");
    EXPECT_THAT(works.workNames, ElementsAre("Сутки"));
    ASSERT_EQ(works.entries.size(), 3u);
    EXPECT_EQ(works.entries[0].fileName, "w-0F3A00C1B2D49E07.xml");

    // Selecting the work selects both concentrators; one concentrator selects its works.
    EXPECT_THAT(ConcentratorsRunning(works, {"Сутки"}), ElementsAre(a, b));
    EXPECT_THAT(WorksOn(works, {b}), ElementsAre("Сутки"));
    EXPECT_TRUE(WorksOn(works, {a + 100}).empty());

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
