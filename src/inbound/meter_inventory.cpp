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
        auto addresses = db.Statement("SELECT MeterADDR from MeasuringPoint WHERE CtrUID=?");
        addresses->BindInt(1, ctrUid);
        while (addresses->Step()) {
            std::string stored = addresses->ColumnText(0);
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

// Every measuring point of the address (decoded text) is told to show its new values.
void NoteChangedPoints(InboundContext& context, std::string_view address) {
    auto points = context.db.Statement("SELECT UID from MeasuringPoint WHERE MeterADDR  = ?");
    points->BindStoredText(1, address);
    while (points->Step()) {
        context.events.MeterValuesChanged(points->ColumnInt64(0));
    }
}

// Claims the unassigned measuring points of the address for the concentrator; true when one was
// claimed. What decides is the number of rows the claim changed: a point whose CtrUID is not
// exactly 0 (another concentrator's, or NULL) is not taken and must not hide the meter.
bool ClaimUnassignedPoints(InboundContext& context, const std::string& address, int64_t ctrUid) {
    storage::TSQLiteDatabase& db = context.db;
    // Found by the address alone: asked for "CtrUID = 0" as well, SQLite would walk every
    // unassigned point per meter.
    std::vector<int64_t> candidates;
    {
        auto points = db.Statement("SELECT UID,CtrUID from MeasuringPoint WHERE MeterADDR = ?");
        points->BindStoredText(1, address);
        while (points->Step()) {
            if (points->ColumnInt64(1) == 0) {
                candidates.push_back(points->ColumnInt64(0));
            }
        }
    }
    bool claimed = false;
    for (const int64_t uid : candidates) {
        auto claim =
            db.Statement("UPDATE MeasuringPoint set CtrUID = ? WHERE (UID = ?) AND (CtrUID = '0')");
        if (claim->BindInt(1, ctrUid).BindInt(2, uid).Execute() > 0) {
            context.events.MeterValuesChanged(uid);
            claimed = true;
        }
    }
    return claimed;
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
            const std::string knownAddress = storage::StoredTextDecode(*storedAddress);
            auto update = db.Statement(
                "UPDATE MeasuringPoint set Syntax = ?, MeterSN = ?, MeterInfoBasic = ?, "
                "MeterInfoArch  = ? WHERE MeterADDR  = ?");
            update->BindStoredText(1, syntax)
                .BindStoredText(2, serialNumber)
                .BindStoredText(3, basicText)
                .BindStoredText(4, archText)
                .BindStoredText(5, knownAddress)
                .Execute();
            NoteChangedPoints(context, knownAddress);
            continue;
        }

        if (!ClaimUnassignedPoints(context, address, ctrUid)) {
            auto insert = db.Statement(
                "INSERT into MeasuringPoint (CtrUID,MeterADDR,MeterSN,Syntax,MeterInfoBasic,"
                "MeterInfoArch,CustomGroupUID) values(?,?,?,?,?,?,'0')");
            const int64_t uid = insert->BindInt(1, ctrUid)
                                    .BindStoredText(2, address)
                                    .BindStoredText(3, serialNumber)
                                    .BindStoredText(4, syntax)
                                    .BindStoredText(5, basicText)
                                    .BindStoredText(6, archText)
                                    .Insert();
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
            const std::string_view address = AttributeView(node, "address");
            context.db.Statement("UPDATE MeasuringPoint set Noise = ? WHERE MeterADDR  = ?")
                ->BindStoredText(1, AttributeView(node, "nrms"))
                .BindStoredText(2, address)
                .Execute();
            NoteChangedPoints(context, address);
        }
    }
}

}  // namespace zb::inbound
