#pragma once
// A program directory of its own for every test: a fresh database with the schema, a small
// device description catalogue served by the project's base plug-in, the registered
// concentrators 00A1 and 00B2 with their mirror folders, a fixed clock, and a recorder of the
// screen events.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/events.h"
#include "inbound/inbound_context.h"
#include "inbound/received_file_processor.h"
#include "link/mirror.h"
#include "storage/sqlite_database.h"
#include "testing/recorders.h"
#include "testing/temp_dir.h"
#include "xml/xml_tree.h"

namespace zb::inbound::testing {

// Records every event as one line of text, e.g. "CtrValuesChanged 00A1"; a received profile's
// rows follow as "kind=name" pieces.
class EventRecorder : public base::CoreEvents, private zb::testing::Texts {
  public:
    void CtrValuesChanged(const std::string& ctrId) override { Add("CtrValuesChanged " + ctrId); }
    void PeriodicWorksChanged(const std::string& ctrId) override {
        Add("PeriodicWorksChanged " + ctrId);
    }
    void MeterValuesChanged(int64_t uid) override {
        Add("MeterValuesChanged " + std::to_string(uid));
    }
    void MeasuringPointsChanged(const std::string& ctrId) override {
        Add("MeasuringPointsChanged " + ctrId);
    }
    void ProfileReceived(const std::string& ctrId, const std::string& projectId,
                         const std::string& profileId, const base::KeyValueRows& rows) override {
        std::string line = "ProfileReceived " + ctrId + " " + projectId + " " + profileId;
        for (const auto& row : rows) {
            line += " " + row.key + "=" + row.value;
        }
        Add(line);
    }
    std::vector<std::string> events() const { return All(); }
    void clear() { Clear(); }
};

// The fixed "now" of the tests: 05.12.2026 14:03:09 local time.
inline const base::LocalDateTime kNow{2026, 12, 5, 14, 3, 9, 0};
inline constexpr const char* kNowText = "05.12.2026 14:03:09";

// The catalogue's variables: 0000.SerialNumber (string), 0000.LocalTime, 0000.Energy (uint32),
// 0000.Table (function, 0x68), 0000.Interface and 0000.Syntax (uint8), 0000.EnergyArchive
// (uint32, VID 0x300).
class InboundTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    storage::TSQLiteDatabase& db() { return storage::Database(); }
    const std::filesystem::path& programDir() const { return dir_.path(); }
    std::filesystem::path mirror(const std::string& ctrId) const {
        return link::MirrorDir(dir_.path(), ctrId);
    }
    // Adds a measuring point with serial number "SN", syntax "ZARNIC" and custom group 7.
    int64_t AddPoint(int64_t ctrUid, const std::string& address);
    int64_t CountRows(const std::string& table, const std::string& where = "") {
        return Int("SELECT count(*) from " + table + (where.empty() ? "" : " WHERE " + where));
    }
    // The decoded text, or the number, of the first cell of a query.
    std::string Text(const std::string& sql);
    int64_t Int(const std::string& sql) { return std::stoll(Text(sql)); }
    // The given columns of every row of `table` in row order, each cell decoded from the stored
    // text form (NULL as ""); a column written "typeof(X)" gives X's SQLite type.
    std::vector<std::vector<std::string>> TableRows(const std::string& table,
                                                    const std::vector<std::string>& columns);
    std::unique_ptr<xml::TECXMLParser> Parse(const std::string& text) {
        auto document = std::make_unique<xml::TECXMLParser>();
        document->LoadFromString(text);
        return document;
    }
    // Hands a received file to the importers' handler as the link does (one handler for every
    // connection).
    void Receive(const std::string& linkPath, const std::string& bytes,
                 const std::string& ctrId = "00A1");

    zb::testing::TempDir dir_;
    std::shared_ptr<EventRecorder> events_ = std::make_shared<EventRecorder>();
    ReceivedFileProcessor processor_{dir_.path()};
    int64_t ctrA1_ = 0;  // CTR row of 00A1
    int64_t ctrB2_ = 0;  // CTR row of 00B2
};

// Little-endian hexadecimal digits of a 32-bit number ("0A000000" for 10).
std::string LittleEndianHex(uint32_t value);

// Pieces of a result file, written as a concentrator writes them.
inline std::string ResultXml(const std::string& workUid, const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<result>\r\n  <workUID Value=\"" +
           workUid + "\"/>\r\n" + body + "</result>\r\n";
}
inline std::string TaskXml(const std::string& taskUid, const std::string& syntax,
                           const std::string& reqAttributes, const std::string& answers) {
    return "  <task TaskUID=\"" + taskUid + "\" Syntax=\"" + syntax + "\">\r\n    <req " +
           reqAttributes + "/>\r\n" + answers + "  </task>\r\n";
}
// A request's answer; an empty meter or time leaves the attribute out.
inline std::string AnsXml(const std::string& meter, const std::string& result,
                          const std::string& value,
                          const std::string& time = "2000-01-01-00-00-10") {
    return "    <ans " + (meter.empty() ? "" : "Meter=\"" + meter + "\" ") + "Result=\"" + result +
           "\" Value=\"" + value + "\"" + (time.empty() ? "" : " Time=\"" + time + "\"") + "/>\r\n";
}
inline std::string CommandXml(const std::string& var, const std::string& value,
                              const std::string& answers) {
    return "  <command>\r\n    <req Var=\"" + var + "\" Value=\"" + value + "\"/>\r\n" + answers +
           "  </command>\r\n";
}
// A command's answer; GetParams answers name their parameter.
inline std::string CommandAnsXml(const std::string& result, const std::string& value = "",
                                 const std::string& param = "") {
    return "    <ans " + (param.empty() ? "" : "Param=\"" + param + "\" ") + "Value=\"" + value +
           "\" Result=\"" + result + "\"/>\r\n";
}

}  // namespace zb::inbound::testing
