#include "admin/concentrators.h"

#include <filesystem>
#include <optional>
#include <thread>
#include <tuple>

#include "admin_db_fixture.h"
#include "link/link_shared.h"
#include "link/service_command.h"

namespace zb::admin {
namespace {

namespace fs = std::filesystem;
using Id = std::optional<std::string>;

class ConcentratorsTest : public testing::AdminDbTest {
  protected:
    fs::path Mirror(const std::string& id) { return dir_.path() / "CTR" / ("CTR_" + id); }
    // The link's state: its file lock is what the deletion of a mirror waits for.
    link::LinkShared link_{dir_.path()};
    MirrorDeleter deleteMirror_ = [this](const std::string& id) { link_.DeleteMirror(id); };
};

TEST(CtrId, TypedIdsBecomeTheHandshakeFormOrAreRefused) {
    const std::pair<const char*, const char*> valid[] = {
        {"00a1", "00A1"},        {"  00A1 ", "00A1"},      {"a1", "00A1"},    {"0000", "0000"},
        {"000000000a1", "00A1"}, {"1234abcd", "1234ABCD"}, {"12345", "12345"}};
    for (const auto& [typed, expected] : valid) {
        EXPECT_EQ(CanonicalCtrId(typed), expected) << typed;
    }
    // IDs that could never connect, or would name a directory outside the mirrors.
    for (const char* bad : {"", "   ", "../00A1", "00A1/..", "..", "00G1", "ПС-1", "1 2",
                            "123456789", "0x00A1", "00A1\\x"}) {
        EXPECT_FALSE(CanonicalCtrId(bad).has_value()) << bad;
    }
}

// The spin buttons step the ID as a decimal number and stop at the ends of four digits.
TEST(CtrSpin, StepsDecimalWithinFourDigits) {
    const std::tuple<const char*, bool, Id> cases[] = {
        {"0009", true, "0010"}, {"0010", false, "0009"}, {"9999", true, {}},
        {"0000", false, {}},    {"00A1", true, {}},      {"-5", false, {}}};
    for (const auto& [text, up, expected] : cases) {
        EXPECT_EQ(SpinCtrId(text, up), expected) << text << (up ? " up" : " down");
    }
}

// The page adds, refuses a duplicate (typed short) and saves; these are the forms it never types.
TEST_F(ConcentratorsTest, ShortAndBadIdsOnAddAndSaveWithoutDuplicateCheck) {
    auto first = AddCtr(*db_, {"00a1", "", ""});
    ASSERT_TRUE(first.Saved()) << first.warning;
    EXPECT_EQ(Cell("SELECT ID||XML from CTR"), "00A1");
    EXPECT_EQ(AddCtr(*db_, {"../x", "", ""}).warning, ctr_texts::kInvalidId);
    AddCtr(*db_, {"00B2", "", ""});
    auto saved = SaveCtr(*db_, first.uid, {"00b2", "ТП \"5\"", "p<w>"});
    ASSERT_TRUE(saved.Saved());
    EXPECT_EQ(saved.id, "00B2");
    EXPECT_EQ(Count("CTR", "ID='00B2'"), 2);
    EXPECT_EQ(SaveCtr(*db_, first.uid, {"bad id", "", ""}).warning, ctr_texts::kInvalidId);
    const auto view = ReadCtr(*db_, first.uid);
    EXPECT_EQ(view->record.comment + view->record.password, "ТП \"5\"p<w>");
}

TEST_F(ConcentratorsTest, DeleteWaitsForTheFileLockAndStaysInsideTheMirrors) {
    auto ctr = AddCtr(*db_, {"00A1", "", ""});
    PrepareMirror(dir_.path(), "00A1");
    std::unique_lock held(link_.fileLock);
    std::atomic<bool> done{false};
    std::thread deleter([&] {
        DeleteCtr(*db_, ctr.uid, deleteMirror_);
        done = true;
    });
    // While a received file is being handled, the mirror stays.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(done);
    EXPECT_TRUE(fs::exists(Mirror("00A1")));
    held.unlock();
    deleter.join();
    EXPECT_FALSE(fs::exists(Mirror("00A1")));

    // A row from an old file whose ID would lead out of the mirrors deletes nothing on disk.
    fs::create_directories(dir_.path() / "keep");
    db_->ExecuteSql("INSERT into CTR (ID) values('../keep')");
    DeleteCtr(*db_, db_->QueryTable("SELECT UID from CTR")->FieldInt64(0), deleteMirror_);
    EXPECT_TRUE(fs::exists(dir_.path() / "keep"));
    EXPECT_EQ(Count("CTR"), 0);
}

TEST_F(ConcentratorsTest, PrepareQueuesTheThreeCommandsAndRefreshFindsTheTypedId) {
    EXPECT_EQ(RefreshCtr(dir_.path(), "nonsense!"), ctr_texts::kInvalidId);
    PrepareMirror(dir_.path(), "00A1");
    const fs::path inbox = Mirror("00A1") / "ROOT/WORK/INBOX";
    EXPECT_TRUE(fs::exists(inbox / "FullSync.xml"));
    fs::remove(inbox / "GetParams.xml");
    EXPECT_EQ(RefreshCtr(dir_.path(), "00a1"), "");
    EXPECT_TRUE(fs::exists(inbox / "GetParams.xml"));
}

}  // namespace
}  // namespace zb::admin
