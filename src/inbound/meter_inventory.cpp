#include "inbound/meter_inventory.h"

#include <cinttypes>
#include <cstdio>
#include <unordered_map>
#include <utility>

#include "base/clock.h"
#include "base/text.h"
#include "devices/catalogue.h"
#include "devices/parameter_model.h"
#include "devices/value_formats.h"
#include "storage/stored_text.h"

namespace zb::inbound {

using storage::SqlInt;
using storage::SqlText;

namespace {

std::string LineName(const std::string& line) {
    return line.substr(0, line.find('='));
}

int IndexOfLineName(const std::vector<std::string>& lines, std::string_view name) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (base::EqualsNoCase(LineName(lines[i]), name)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// The addresses of the concentrator's measuring points, as stored, by their decoded and
// upper-cased form: the comparison of reported addresses ignores letter case. The first point
// of an address wins.
class KnownAddresses {
  public:
    KnownAddresses(storage::TSQLiteDatabase& db, int64_t ctrUid) {
        auto table =
            db.QueryTable("SELECT MeterADDR from MeasuringPoint WHERE CtrUID=" + SqlInt(ctrUid));
        for (; !table->AtEnd(); table->Next()) {
            std::string stored = table->FieldText(0);
            const std::string address = storage::StoredTextDecode(stored);
            Add(address, std::move(stored));
        }
    }
    void Add(const std::string& address, std::string stored) {
        stored_.emplace(base::Utf8ToUpper(address), std::move(stored));
    }
    // The stored form of a known address, or null.
    const std::string* Find(const std::string& address) const {
        const auto found = stored_.find(base::Utf8ToUpper(address));
        return found == stored_.end() ? nullptr : &found->second;
    }

  private:
    std::unordered_map<std::string, std::string> stored_;
};

void NoteChangedPoints(InboundContext& context, const std::string& sql) {
    auto table = context.db.QueryTable(sql);
    for (; !table->AtEnd(); table->Next()) {
        context.events.MeterValuesChanged(table->FieldInt64(0));
    }
}

}  // namespace

void ArrangeVariableLines(std::vector<std::string>& lines) {
    const int interfaceLine = IndexOfLineName(lines, "interface");
    if (interfaceLine >= 0) {
        std::swap(lines[0], lines[interfaceLine]);
    }
    const int syntaxLine = IndexOfLineName(lines, "syntax");
    if (syntaxLine >= 0 && lines.size() >= 2) {
        std::swap(lines[1], lines[syntaxLine]);
    }
}

std::string ArchiveLine(const std::string& avid, const std::string& descriptor) {
    const uint64_t code = devices::HexToInt(avid);
    std::string name;
    if (const devices::TVar* var = devices::FindVarByVID(
            devices::VarRoot(), static_cast<uint32_t>(code & ~static_cast<uint64_t>(0xFF)))) {
        name = var->Title();
    }
    devices::TArch arch;
    arch.ReadDescriptor(descriptor);
    char codeText[32];
    std::snprintf(codeText, sizeof codeText, " (%08" PRIX64 ")", code);
    return name + "=" + arch.PropertyStr() + codeText;
}

void ImportMeterInventory(InboundContext& context, const xml::TXMLItem& root,
                          const std::string& ctrId) {
    storage::TSQLiteDatabase& db = context.db;
    const int64_t ctrUid = CtrUidOf(db, ctrId);
    KnownAddresses known(db, ctrUid);

    for (const xml::TXMLItem* meter = xml::FindItem(&root, 0, "meter"); meter != nullptr;
         meter = xml::NextItem(meter)) {
        std::string serialNumber = "<NULL>";
        std::string syntax = "<NULL>";
        const base::LocalDateTime receivedAt = base::LocalNow();
        std::vector<std::string> varLines;
        std::vector<std::string> archLines;

        const std::string address = Attribute(meter, "address");
        if (address.empty()) {
            continue;
        }
        for (int i = 0; i < meter->Count(); ++i) {
            const xml::TXMLItem* child = meter->Items(i);
            // The three kinds are told apart by their exact element name.
            if (child->Name() == "var") {
                const std::string name = Attribute(child, "Name");
                const std::string valueText =
                    devices::DecodeVarAnswer(name, Attribute(child, "Value"));
                if (name == "0000.SerialNumber" || name == "SerialNumber") {
                    serialNumber = valueText;
                }
                varLines.push_back(name + "=" + valueText);
            } else if (child->Name() == "arch") {
                archLines.push_back(ArchiveLine(Attribute(child, "AVID"), Attribute(child, "Des")));
            } else if (child->Name() == "syntax") {
                syntax = Attribute(child, "Value");
            }
        }
        ArrangeVariableLines(varLines);
        const std::string received = "Данные получены=" + base::FormatDateTime(receivedAt);
        varLines.push_back(received);
        archLines.push_back(received);
        const std::string basicText = JoinLines(varLines, true);
        const std::string archText = JoinLines(archLines, true);

        if (const std::string* storedAddress = known.Find(address)) {
            // The row the comparison found is updated, whatever letter case the concentrator
            // used this time, together with every other point of exactly that address.
            const std::string where =
                " WHERE MeterADDR  = " + SqlText(storage::StoredTextDecode(*storedAddress));
            db.ExecuteSql("UPDATE MeasuringPoint set Syntax = " + SqlText(syntax) + ", MeterSN = " +
                          SqlText(serialNumber) + ", MeterInfoBasic = " + SqlText(basicText) +
                          ", MeterInfoArch  = " + SqlText(archText) + where);
            NoteChangedPoints(context, "SELECT UID from MeasuringPoint" + where);
            continue;
        }

        // Unassigned points of this address are claimed. They are found by the address alone:
        // asked for "CtrUID = 0" as well, SQLite would walk every unassigned point per meter.
        bool claimed = false;
        auto unassigned = db.QueryTable("SELECT UID,CtrUID from MeasuringPoint WHERE MeterADDR = " +
                                        SqlText(address));
        for (; !unassigned->AtEnd(); unassigned->Next()) {
            if (unassigned->FieldInt64(1) != 0) {
                continue;
            }
            const int64_t uid = unassigned->FieldInt64(0);
            db.ExecuteSql("UPDATE MeasuringPoint set CtrUID = " + SqlInt(ctrUid) +
                          " WHERE (UID = " + SqlInt(uid) + ") AND (CtrUID = '0')");
            context.events.MeterValuesChanged(uid);
            claimed = true;
        }
        if (!claimed) {
            const int64_t uid = db.InsertSql(
                "INSERT into MeasuringPoint (CtrUID,MeterADDR,MeterSN,Syntax,MeterInfoBasic,"
                "MeterInfoArch,CustomGroupUID) values(" +
                SqlInt(ctrUid) + "," + SqlText(address) + "," + SqlText(serialNumber) + "," +
                SqlText(syntax) + "," + SqlText(basicText) + "," + SqlText(archText) + ",'0')");
            context.events.MeterValuesChanged(uid);
        }
        context.events.MeasuringPointsChanged(ctrId);
        // The point is the concentrator's now: the same address met again further down the
        // list refreshes it rather than adding a second point.
        known.Add(address, storage::StoredTextEncode(address));
    }
}

void ImportNoise(InboundContext& context, const xml::TXMLItem& root) {
    for (const xml::TXMLItem* channel = xml::FindItem(&root, 0, "channel"); channel != nullptr;
         channel = xml::NextItem(channel)) {
        for (const xml::TXMLItem* node = xml::FindItem(channel, 0, "node"); node != nullptr;
             node = xml::NextItem(node)) {
            const std::string where = " WHERE MeterADDR  = " + SqlText(Attribute(node, "address"));
            context.db.ExecuteSql(
                "UPDATE MeasuringPoint set Noise = " + SqlText(Attribute(node, "nrms")) + where);
            NoteChangedPoints(context, "SELECT UID from MeasuringPoint" + where);
        }
    }
}

}  // namespace zb::inbound
