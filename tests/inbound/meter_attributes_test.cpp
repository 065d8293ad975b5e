#include "inbound/meter_attributes.h"

#include <gmock/gmock.h>
#include <sys/time.h>

#include "base/log.h"
#include "inbound_fixture.h"
#include "storage/stored_text.h"
#include "testing/recorders.h"

namespace zb::inbound::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using zb::testing::WriteFile;
using Rows = KeyValueRows;

class MeterAttributesTest : public InboundTest {
  protected:
    fs::path Profile(const std::string& name) const {
        return mirror("00A1") / "ROOT/INFO/PROFILES" / name;
    }
    // Writes a profile file with the given `var` elements and sets its modification time to
    // 05.12.2026 14:03:09 local time.
    fs::path WriteProfile(const std::string& name, const std::string& vars) {
        const fs::path path = Profile(name);
        WriteFile(path, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<profile>\r\n" + vars +
                            "</profile>\r\n");
        const auto seconds = std::chrono::system_clock::to_time_t(base::FromLocal(kNow));
        const timeval times[2] = {{seconds, 0}, {seconds, 0}};
        EXPECT_EQ(::utimes(path.c_str(), times), 0);
        return path;
    }
    int64_t AddPointWith(const std::string& basic, const std::string& archive) {
        const int64_t uid = AddPoint(ctrA1_, "0000000A");
        db().ExecuteSql("UPDATE MeasuringPoint set MeterInfoBasic=" + storage::SqlText(basic) +
                        ", MeterInfoArch=" + storage::SqlText(archive) +
                        " WHERE UID=" + storage::SqlInt(uid));
        return uid;
    }
};

const Rows kDataReceived = {{"Данные получены", kNowText}};

TEST_F(MeterAttributesTest, ProfileRowsByNameByVidUnknownAndTheFileTime) {
    const fs::path file =
        WriteProfile("p.xml",
                     "  <var Name=\"0000.Table\"/>\r\n"
                     "  <var Name=\"Mystery\" VID=\"\"\"\"/>\r\n"  // two quotes: no VID
                     "  <VAR VID=\"03000000\"/>\r\n"               // known only by its VID
                     "  <var Name=\"0000.Nothing\" VID=\"77000000\"/>\r\n"
                     "  <other Name=\"0000.Energy\"/>\r\n");
    EXPECT_EQ(ReadMeterProfile(file), (Rows{{"Функция", "0000.Table"},
                                            {"", "Mystery"},
                                            {"Параметр", "0000.Energy"},
                                            {"", "0000.Nothing"},
                                            kDataReceived[0]}));
    // A profile without variables shows the time alone; a missing or broken file nothing.
    EXPECT_EQ(ReadMeterProfile(WriteProfile("empty.xml", "")), kDataReceived);
    EXPECT_TRUE(ReadMeterProfile(Profile("missing.xml")).empty());
    WriteFile(Profile("broken.xml"), "<profile><var Name=\"0000.Table\"");
    EXPECT_TRUE(ReadMeterProfile(Profile("broken.xml")).empty());
}

TEST_F(MeterAttributesTest, APointShowsItsInformationAndTheProfileItNames) {
    EXPECT_FALSE(ReadMeterAttributes(db(), programDir(), 999).found);

    // No "0000.ProfileID": basic and archive information, no profile.
    const int64_t plain = AddPointWith("0000.ProjectID=00000012\r\nA=1=2\r\n\r\nB\r\n",
                                       "0000.EnergyArchive=I 30 мин (00000300)\r\n");
    auto view = ReadMeterAttributes(db(), programDir(), plain);
    EXPECT_TRUE(view.found);
    EXPECT_EQ(view.ctrId, "00A1");
    EXPECT_EQ(view.basic, (Rows{{"0000.ProjectID", "00000012"}, {"A", "1=2"}, {"B", ""}}));
    EXPECT_EQ(view.archive, (Rows{{"0000.EnergyArchive", "I 30 мин (00000300)"}}));
    EXPECT_TRUE(view.profile.empty());

    // Keys compared without regard to case; read again on every call.
    WriteProfile("profile-00000012-00000003.xml", "  <var Name=\"0000.Energy\"/>\r\n");
    const int64_t named =
        AddPointWith("0000.projectid=00000012\r\n0000.PROFILEID=00000003\r\n", "");
    const Rows expected = {{"Параметр", "0000.Energy"}, kDataReceived[0]};
    EXPECT_EQ(ReadMeterAttributes(db(), programDir(), named).profile, expected);
    EXPECT_EQ(ReadMeterAttributes(db(), programDir(), named).profile, expected);
    // IDs that would lead out of the profiles folder read nothing.
    EXPECT_FALSE(MeterProfilePath(programDir(), "00A1", "../x", "1").has_value());
}

TEST(ProfileMatches, PrefixedAndPlainKeysWithoutRegardToCase) {
    const Rows prefixed = {{"0000.PROJECTID", "12"}, {"0000.profileid", "3"}};
    const Rows plain = {{"ProjectID", "12"}, {"ProfileID", "3"}};
    EXPECT_TRUE(ProfileMatches(prefixed, "12", "3"));
    EXPECT_TRUE(ProfileMatches(plain, "12", "3"));
    EXPECT_FALSE(ProfileMatches(prefixed, "12", "4"));
    EXPECT_FALSE(ProfileMatches({{"1.ProjectID", "12"}, {"ProfileID", "3"}}, "12", "3"));
}

// A VID that is not hexadecimal keeps the rows before it, and the log says why.
TEST_F(MeterAttributesTest, AReceivedProfileHandsItsRowsToTheWindow) {
    zb::testing::LogRecorder log;
    Receive("ROOT\\INFO\\PROFILES\\profile-00000012-00000003.xml",
            "<profile><var Name=\"0000.Table\"/><var VID=\"0\x01Z\"/></profile>");
    Receive("ROOT\\INFO\\PROFILES\\noids.xml", "<profile/>");
    EXPECT_THAT(events_->events(),
                ElementsAre("ProfileReceived 00A1 00000012 00000003 Функция=0000.Table"));
    EXPECT_TRUE(fs::exists(Profile("noids.xml")));
    EXPECT_THAT(log.lines(), ElementsAre(::testing::HasSubstr(
                                 "CtrID = 00A1, Неправильный аргумент функции StrToHex: 0\\x01Z")));
}

}  // namespace
}  // namespace zb::inbound::testing
