#include "storage/schema.h"

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <sstream>

#include "storage/stored_text.h"
#include "storage/time_stamp.h"
#include "testing/temp_dir.h"

namespace zb::storage {
namespace {

TEST(Schema, NewFileGetsTheThirteenTablesAndOneAdministratorAnExistingOneNothing) {
    testing::TempDir dir;
    const std::string path = (dir / "ZarnicBox.db").string();
    bool created = false;
    auto db = OpenProgramDatabase(path, created);
    EXPECT_TRUE(created);
    // The tables exactly as other programs reading the file expect them, written down once in
    // schema_tables.sql, one statement a line.
    std::istringstream expected(testing::ReadFile(ZB_SCHEMA_TABLES_FILE));
    int count = 0;
    for (std::string statement; std::getline(expected, statement); ++count) {
        const std::string name = statement.substr(14, statement.find('"', 14) - 14);
        auto table = db->QueryTable("SELECT sql from sqlite_master WHERE type='table' AND name=" +
                                    SqlText(name));
        ASSERT_FALSE(table->AtEnd()) << name;
        EXPECT_EQ(table->FieldText(0), statement);
    }
    EXPECT_EQ(count, 13);
    // The administrator's XML stays null.
    auto ops = db->QueryTable("SELECT quote(UID)||Name||Login||Password||quote(XML) from Operator");
    ASSERT_EQ(ops->RowCount(), 1u);
    EXPECT_EQ(ops->FieldText(0), "1АдминистраторKREMUKREMUNULL");

    // No administrator is inserted into an existing file.
    db->ExecuteSql("DELETE from Operator");
    db = OpenProgramDatabase(path, created);
    EXPECT_FALSE(created);
    EXPECT_EQ(db->QueryTable("SELECT UID from Operator")->RowCount(), 0u);
}

TEST(Schema, LookupIndexesComeToOldFilesAndSkipMissingTables) {
    testing::TempDir dir;
    const std::string path = (dir / "old.db").string();
    {
        TSQLiteDatabase db(path);
        db.ExecuteSql(kCreateTableStatements[8]);  // MeasuringPoint only
    }
    bool created = true;
    auto db = OpenProgramDatabase(path, created);
    EXPECT_FALSE(created);
    auto indexes = db->QueryTable(
        "SELECT group_concat(name) from (SELECT name from sqlite_master WHERE type='index' AND "
        "tbl_name<>'CtrSession' ORDER BY name)");
    EXPECT_EQ(indexes->FieldText(0),
              "ixMeasuringPointCtrUID,ixMeasuringPointMeterADDR,ixProcessedResultFile");
}

// The session record keeps the last sessions of each concentrator by itself: the server writes
// one INSERT per session and never deletes.
TEST(Schema, SessionTableKeepsTheLastSessionsOfEachConcentrator) {
    testing::TempDir dir;
    const std::string path = (dir / "ZarnicBox.db").string();
    bool created = false;
    OpenProgramDatabase(path, created);
    auto db = OpenProgramDatabase(path, created);  // a second start finds it in place
    for (int i = 1; i <= kCtrSessionsKept + 5; ++i) {
        for (const std::string id : {"00A1", "00A2"}) {
            if (i <= 3 || id == "00A1") {
                db->InsertSql("INSERT into CtrSession (CtrID,StartTimeStamp) values(" +
                              SqlText(id) + "," + SqlInt(i) + ")");
            }
        }
    }
    // Another concentrator's sessions are left alone.
    auto kept = db->QueryTable(
        "SELECT group_concat(CtrID||' '||n||' '||low||' '||high,', ') from (SELECT CtrID,COUNT(*) "
        "n,MIN(StartTimeStamp) low,MAX(StartTimeStamp) high from CtrSession GROUP BY CtrID "
        "ORDER BY CtrID)");
    EXPECT_EQ(kept->FieldText(0), "00A1 " + std::to_string(kCtrSessionsKept) + " 6 " +
                                      std::to_string(kCtrSessionsKept + 5) + ", 00A2 3 1 3");
}

TEST(Schema, AZeroByteFileLeftByAnInterruptedStartGetsTheSchema) {
    testing::TempDir dir;
    testing::WriteFile(dir / "ZarnicBox.db", "");
    bool created = false;
    auto db = OpenProgramDatabase((dir / "ZarnicBox.db").string(), created);
    EXPECT_TRUE(created);
    EXPECT_EQ(db->QueryTable("SELECT Login from Operator")->RowCount(), 1u);
}

TEST(TimeStamp, WholeSecondsSince2000WithHalvesToEven) {
    const std::pair<base::LocalDateTime, int64_t> stamps[] = {
        {{2000, 1, 1, 0, 0, 0, 500}, 0},     {{2000, 1, 1, 0, 0, 1, 500}, 2},
        {{2000, 1, 1, 0, 0, 2, 500}, 2},     {{2000, 1, 1, 0, 0, 2, 501}, 3},
        {{1999, 12, 31, 23, 59, 59, 0}, -1}, {{2026, 12, 6, 12, 0, 0, 0}, 9836 * 86400LL + 43200}};
    for (const auto& [time, stamp] : stamps) {
        EXPECT_EQ(LocalTimeStampOf(time), stamp) << stamp;
    }
    const auto back = LocalDateTimeOfStamp(9836 * 86400LL + 43201);
    EXPECT_EQ(base::FormatDateTime(back), "06.12.2026 12:00:01");
}

TEST(Schema, AReadOnlyDatabaseIsReportedAtStartUp) {
    // On a file system mounted read-only, which even the superuser cannot write (needs mounting).
    testing::TempDir dir;
    if (::mount("tmpfs", dir.path().c_str(), "tmpfs", 0, "size=1m") != 0) {
        GTEST_SKIP() << "cannot mount a file system here";
    }
    const std::shared_ptr<void> unmount(nullptr,
                                        [&](void*) { ::umount2(dir.path().c_str(), MNT_DETACH); });
    const std::string path = (dir / "ZarnicBox.db").string();
    bool created = false;
    OpenProgramDatabase(path, created);
    ASSERT_EQ(::mount(nullptr, dir.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    std::string message;
    try {
        OpenProgramDatabase(path, created);
    } catch (const ESQLiteException& e) {
        message = e.what();
    }
    EXPECT_TRUE(message.starts_with("База данных \"" + path + "\" доступна только для чтения ("))
        << message;
}

}  // namespace
}  // namespace zb::storage
