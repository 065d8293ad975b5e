#include "admin/concentrators.h"

#include <filesystem>
#include <thread>

#include "admin_db_fixture.h"
#include "link/service_command.h"
#include "storage/stored_text.h"

namespace zb::admin {
namespace {

namespace fs = std::filesystem;

class ConcentratorsTest : public testing::AdminDbTest {
  protected:
    fs::path Mirror(const std::string& id) { return dir_.path() / "CTR" / ("CTR_" + id); }
    std::mutex fileLock_;
};

TEST(CtrId, TypedIdsBecomeTheHandshakeForm) {
    EXPECT_EQ(CanonicalCtrId("00a1"), "00A1");
    EXPECT_EQ(CanonicalCtrId("  00A1 "), "00A1");
    EXPECT_EQ(CanonicalCtrId("a1"), "00A1");
    EXPECT_EQ(CanonicalCtrId("0000"), "0000");
    EXPECT_EQ(CanonicalCtrId("000000000a1"), "00A1");
    EXPECT_EQ(CanonicalCtrId("1234abcd"), "1234ABCD");
    EXPECT_EQ(CanonicalCtrId("12345"), "12345");
}

TEST(CtrId, IdsThatCouldNotConnectOrLeaveTheMirrorsAreRefused) {
    for (const char* bad : {"", "   ", "../00A1", "00A1/..", "..", "00G1", "ПС-1", "1 2",
                            "123456789", "0x00A1", "00A1\\x"}) {
        EXPECT_FALSE(CanonicalCtrId(bad).has_value()) << bad;
    }
}

TEST(CtrSpin, StepsDecimalWithinFourDigits) {
    EXPECT_EQ(SpinCtrId("0009", true), "0010");
    EXPECT_EQ(SpinCtrId("0010", false), "0009");
    EXPECT_EQ(SpinCtrId("0000", true), "0001");
    EXPECT_FALSE(SpinCtrId("9999", true).has_value());
    EXPECT_FALSE(SpinCtrId("0000", false).has_value());
    EXPECT_FALSE(SpinCtrId("00A1", true).has_value());
    EXPECT_FALSE(SpinCtrId("", true).has_value());
    EXPECT_FALSE(SpinCtrId("-5", false).has_value());
    EXPECT_EQ(SpinCtrId("9998", true), "9999");
}

TEST(CtrTexts, AddressAndUpdateStatement) {
    EXPECT_EQ(LastAddressText(std::nullopt), "<NULL>");
    EXPECT_EQ(LastAddressText(std::string("127.0.0.1")), "127.0.0.1");
    EXPECT_FALSE(CanOpenAddress("<NULL>"));
    EXPECT_TRUE(CanOpenAddress("10.1.2.3"));
    EXPECT_EQ(CtrPageUrl("127.0.0.1"), "http://127.0.0.1");
    EXPECT_EQ(CtrUpdateSql(4, {"00A1", "ТП \"5\"", "p<w>"}),
              "UPDATE CTR set ID        = \"00A1\", Comment   = \"ТП &quot;5&quot;\", "
              "Password  = \"p&lt;w&gt;\", XML       = \"\" WHERE UID = \"4\"");
    EXPECT_EQ(std::string(ctr_texts::kDuplicateId),
              "Концентратор с таким 'ID' уже существует,\r\nдобавление невозможно! ");
}

TEST_F(ConcentratorsTest, AddNormalisesTheIdAndRefusesDuplicates) {
    auto added = AddCtr(*db_, {"00a1", "Подстанция №5", "секрет"});
    ASSERT_TRUE(added.saved()) << added.warning;
    EXPECT_EQ(added.id, "00A1");
    EXPECT_EQ(Cell("SELECT ID from CTR"), "00A1");
    EXPECT_EQ(Cell("SELECT XML from CTR"), "");

    auto again = AddCtr(*db_, {"00A1", "", ""});
    EXPECT_FALSE(again.saved());
    EXPECT_EQ(again.warning, ctr_texts::kDuplicateId);
    // The typed lower-case form is the same concentrator.
    EXPECT_EQ(AddCtr(*db_, {"a1", "", ""}).warning, ctr_texts::kDuplicateId);
    EXPECT_EQ(AddCtr(*db_, {"../x", "", ""}).warning, ctr_texts::kInvalidId);
    EXPECT_EQ(Count("CTR"), 1);

    auto rows = LoadCtrs(*db_);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].text, "00A1 [Подстанция №5]");
    EXPECT_EQ(rows[0].uid, added.uid);
}

TEST_F(ConcentratorsTest, PrepareMirrorMakesFiveFoldersAndThreeCommands) {
    PrepareMirror(dir_.path(), "00A1");
    const fs::path root = Mirror("00A1") / "ROOT";
    for (const char* folder :
         {"WORK/INBOX", "WORK/OUTBOX", "WORK/PERIODIC", "INFO/METERS", "INFO/PROFILES"}) {
        EXPECT_TRUE(fs::is_directory(root / folder)) << folder;
    }
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root / "WORK" / "INBOX")) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"FullSync.xml", "GetParams.xml", "GetProfile.xml"}));
    EXPECT_EQ(testing::ReadFile(root / "WORK" / "INBOX" / "FullSync.xml"),
              link::ServiceCommandText({"Var=FullSync", "OpCode=W"}));
    EXPECT_NE(testing::ReadFile(root / "WORK" / "INBOX" / "GetParams.xml")
                  .find("<req Var=\"GetParams\" OpCode=\"R\"/>"),
              std::string::npos);
}

TEST_F(ConcentratorsTest, ReadShowsDecodedValuesLineByLine) {
    auto added = AddCtr(*db_, {"0002", "c", "p"});
    db_->ExecuteSql(
        "UPDATE CTR set InfoBasic=" + storage::SqlText("Serial=12<3>\r\nFirmware=1.0\r\n") +
        ", Profile=" + storage::SqlText("Meter=M-230") +
        " WHERE UID=" + storage::SqlInt(added.uid));
    auto view = ReadCtr(*db_, added.uid);
    ASSERT_TRUE(view.has_value());
    EXPECT_EQ(view->record.id, "0002");
    EXPECT_EQ(view->record.password, "p");
    ASSERT_EQ(view->infoBasic.size(), 2u);
    EXPECT_EQ(view->infoBasic[0].second, "12<3>");
    ASSERT_EQ(view->profile.size(), 1u);
    EXPECT_EQ(view->profile[0].first, "Meter");
    EXPECT_FALSE(ReadCtr(*db_, added.uid + 1).has_value());
}

TEST_F(ConcentratorsTest, SaveChangesRowButNotTheMirror) {
    auto first = AddCtr(*db_, {"00A1", "", ""});
    AddCtr(*db_, {"00B2", "", ""});
    PrepareMirror(dir_.path(), "00A1");
    // No duplicate check on save; the ID is still put into its handshake form.
    auto saved = SaveCtr(*db_, first.uid, {"00b2", "новый", "x"});
    ASSERT_TRUE(saved.saved());
    EXPECT_EQ(saved.id, "00B2");
    EXPECT_EQ(Count("CTR", "ID=\"00B2\""), 2);
    EXPECT_TRUE(fs::exists(Mirror("00A1")));
    EXPECT_FALSE(fs::exists(Mirror("00B2")));
    EXPECT_EQ(SaveCtr(*db_, first.uid, {"bad id", "", ""}).warning, ctr_texts::kInvalidId);
    EXPECT_EQ(ReadCtr(*db_, first.uid)->record.comment, "новый");
}

TEST_F(ConcentratorsTest, DeleteWaitsForTheFileLock) {
    auto ctr = AddCtr(*db_, {"00A1", "", ""});
    PrepareMirror(dir_.path(), "00A1");
    std::unique_lock held(fileLock_);
    std::atomic<bool> done{false};
    std::thread deleter([&] {
        DeleteCtr(*db_, dir_.path(), fileLock_, ctr.uid);
        done = true;
    });
    // While a received file is being handled, the mirror stays.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(done);
    EXPECT_TRUE(fs::exists(Mirror("00A1")));
    held.unlock();
    deleter.join();
    EXPECT_TRUE(done);
    EXPECT_FALSE(fs::exists(Mirror("00A1")));
    EXPECT_EQ(Count("CTR"), 0);
}

TEST_F(ConcentratorsTest, StoredIdThatIsNoPlainIdDeletesNothingOnDisk) {
    // A row from an old file whose ID would lead out of the mirrors.
    fs::create_directories(dir_.path() / "keep");
    fs::create_directories(dir_.path() / "CTR");
    db_->ExecuteSql("INSERT into CTR (ID) values(\"../keep\")");
    const int64_t uid = db_->QueryTable("SELECT UID from CTR")->FieldInt64(0);
    DeleteCtr(*db_, dir_.path(), fileLock_, uid);
    EXPECT_TRUE(fs::exists(dir_.path() / "keep"));
    EXPECT_EQ(Count("CTR"), 0);
}

TEST_F(ConcentratorsTest, RefreshQueuesProfileThenParams) {
    EXPECT_EQ(RefreshCtr(dir_.path(), "nonsense!"), ctr_texts::kInvalidId);
    // Without a mirror the command cannot be written.
    EXPECT_THROW(RefreshCtr(dir_.path(), "00A1"), link::EInOutError);
    PrepareMirror(dir_.path(), "00A1");
    const fs::path inbox = Mirror("00A1") / "ROOT" / "WORK" / "INBOX";
    fs::remove(inbox / "GetProfile.xml");
    fs::remove(inbox / "GetParams.xml");
    EXPECT_EQ(RefreshCtr(dir_.path(), "00a1"), "");
    EXPECT_TRUE(fs::exists(inbox / "GetProfile.xml"));
    EXPECT_TRUE(fs::exists(inbox / "GetParams.xml"));
}

}  // namespace
}  // namespace zb::admin
