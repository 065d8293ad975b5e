#include "admin/measuring_points.h"

#include "admin_db_fixture.h"
#include "link/mirror.h"
#include "link/service_command.h"
#include "storage/stored_text.h"
#include "testing/temp_dir.h"

namespace zb::admin {
namespace {

namespace fs = std::filesystem;
using storage::SqlInt;
using storage::SqlText;

class MeasuringPointsTest : public testing::AdminDbTest {
  protected:
    void SetUp() override {
        AdminDbTest::SetUp();
        ctr_ = db_->InsertSql("INSERT into CTR (ID,Comment) values('00A1','ТП-5')");
    }
    int64_t Insert(const std::string& table, const std::string& name) {
        return db_->InsertSql("INSERT into " + table + " (Name) values(" + SqlText(name) + ")");
    }
    int64_t AddPoint(const std::string& address, const std::string& bindings = "NULL,NULL,NULL") {
        return db_->InsertSql(
            "INSERT into MeasuringPoint (CtrUID,MeterADDR,MeterSN,Syntax,"
            "AccountUID,EProviderUID,CustomGroupUID) values(" +
            SqlInt(ctr_) + "," + SqlText(address) + ",'SN-1','ZARNIC'," + bindings + ")");
    }
    int64_t ctr_ = 0;
};

// A deleted account shows "<NULL>" and is saved as 0; "<NULL>" typed into a text is saved as
// NULL; only the marked rows are saved, one statement each, and their marks go.
TEST_F(MeasuringPointsTest, GridRowsShowNamesOrNullAndSaveOnlyMarkedRows) {
    EXPECT_TRUE(LoadMeterRows(*db_, ctr_).empty());
    const int64_t account = Insert("Account", "ЛС <1>");
    const int64_t gone = Insert("Account", "удалён");
    const int64_t category = Insert("CustomGroup", "");
    const int64_t a = AddPoint("0A", SqlInt(account) + "," + SqlInt(0) + "," + SqlInt(category));
    const int64_t b = AddPoint("0B", SqlInt(gone) + "," + SqlInt(55) + ",NULL");
    const int64_t c = AddPoint("0C");
    db_->ExecuteSql("DELETE from Account WHERE UID=" + SqlInt(gone));
    db_->ExecuteSql("UPDATE MeasuringPoint set Name=" + SqlText("Ввод \"1\"") +
                    ", BalanceRole='S' WHERE UID=" + SqlInt(a));

    auto rows = LoadMeterRows(*db_, ctr_);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].uid, a);
    EXPECT_EQ(rows[0].cells, (std::array<std::string, kMeterColumns>{
                                 "0A", "SN-1", "ZARNIC", "Ввод \"1\"", "<NULL>", "ЛС <1>", "<NULL>",
                                 "", "<NULL>", "S", "<NULL>"}));
    EXPECT_EQ(rows[0].bound, (std::array<int64_t, 4>{account, 0, category, 0}));
    EXPECT_EQ(rows[1].cells[kColAccount], "<NULL>");
    EXPECT_EQ(rows[1].bound, (std::array<int64_t, 4>{0, 0, 0, 0}));

    rows[0].cells[kColName] = "<NULL>";
    rows[0].cells[kColComment] = "a & \"b\"";
    rows[0].cells[kColRole] = "M";
    rows[0].BoundUid(kColBalance) = 9;
    rows[0].changed = true;
    rows[1].cells[kColLocation] = "";
    rows[1].changed = true;
    rows[2].cells[kColName] = "not saved";
    EXPECT_EQ(rows[0].ShownAddress(), "0A *");
    EXPECT_EQ(SaveChangedRows(*db_, rows), 2);
    EXPECT_FALSE(rows[0].changed || rows[1].changed);
    EXPECT_EQ(Cell("SELECT quote(Name)||quote(MeterLocation)||AccountUID||BalanceUID||BalanceRole"
                   "||Comment from MeasuringPoint WHERE UID=" +
                   SqlInt(a)),
              "NULLNULL" + std::to_string(account) + "9Ma &amp; &quot;b&quot;");
    EXPECT_EQ(
        Count("MeasuringPoint", "UID=" + SqlInt(b) + " AND AccountUID=0 AND MeterLocation=''"), 1);
    EXPECT_EQ(Count("MeasuringPoint", "UID=" + SqlInt(c) + " AND Name IS NULL"), 1);
    EXPECT_EQ(SaveChangedRows(*db_, rows), 0);
}

// The chooser's names sort without regard to case (Cyrillic too); roles are "S" and "M".
TEST_F(MeasuringPointsTest, ChooserListsAreSortedWithoutRegardToCase) {
    const int64_t b = Insert("Balance", "фидер 2"), a = Insert("Balance", "Фидер 1");
    const int64_t c = Insert("Balance", "Ввод");
    std::vector<int64_t> uids;
    for (const Row& item : ChooserItems(*db_, kColBalance)) {
        uids.push_back(item.uid);
    }
    EXPECT_EQ(uids, (std::vector<int64_t>{c, a, b}));
    const auto roles = ChooserItems(*db_, kColRole);
    EXPECT_EQ(roles.size() == 2 ? roles[0].text + roles[1].text : "", "SM");
}

TEST_F(MeasuringPointsTest, MeterCommandsNameTheTargetAndRefuseAddressesThatLeaveTheInbox) {
    link::CreateMirrorFolders(dir_.path(), "00A1");
    const fs::path inbox = link::MirrorInbox(dir_.path(), "00A1");
    const int64_t point = AddPoint("0A1B2C3D");
    // The command files' bytes are pinned by the link's tests; a refresh and the Alt-click for
    // every meter are driven through the page.
    const auto outcome =
        QueueMeterCommand(*db_, dir_.path(), MeterCommand::Delete, ctr_, point, false);
    EXPECT_EQ(outcome.fileName + outcome.warning, "DeleteMeter_0A1B2C3D.xml");
    // Missing rows stop silently.
    for (const auto& [ctr, mp] :
         {std::pair<int64_t, int64_t>{0, point}, {99, point}, {ctr_, 999}}) {
        const auto none = QueueMeterCommand(*db_, dir_.path(), MeterCommand::Delete, ctr, mp, true);
        EXPECT_TRUE(none.fileName.empty() && none.warning.empty()) << ctr << "/" << mp;
    }

    for (const std::string& bad :
         std::vector<std::string>{"../x", "a/b", "a\\b", "C:", "..", std::string(201, '1')}) {
        db_->ExecuteSql("UPDATE MeasuringPoint set MeterADDR=" + SqlText(bad) +
                        " WHERE UID=" + SqlInt(point));
        const auto refused =
            QueueMeterCommand(*db_, dir_.path(), MeterCommand::Delete, ctr_, point, false);
        EXPECT_EQ(refused.warning, mp_texts::kBadAddress);
        EXPECT_TRUE(refused.fileName.empty());
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(inbox), fs::directory_iterator()), 1);
    EXPECT_TRUE(IsCommandTarget(std::string(200, '1')));
    EXPECT_FALSE(IsCommandTarget(std::string("a\0b", 3)));
}

}  // namespace
}  // namespace zb::admin
