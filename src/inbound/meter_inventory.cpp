#include "inbound/meter_inventory.h"

#include <chrono>
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

// The stored form of the line break that ends every line of the attribute texts.
constexpr std::string_view kStoredLineBreak = "<br/>";

// A known meter: every point of exactly the address the comparison found is refreshed (whatever
// its concentrator), and each is told to show its new values.
constexpr const char* kUpdateKnown =
    "UPDATE MeasuringPoint set Syntax = ?, MeterSN = ?, MeterInfoBasic = ?, MeterInfoArch  = ? "
    "WHERE MeterADDR  = ?";
constexpr const char* kPointsOfAddress = "SELECT UID from MeasuringPoint WHERE MeterADDR  = ?";
// A new meter first claims the unassigned points of its address, found by the address alone:
// asked for "CtrUID = 0" as well, SQLite would walk every unassigned point per meter. A point
// whose CtrUID is not exactly 0 (another concentrator's, or NULL) is not taken: what decides is
// the number of rows the claim changed.
constexpr const char* kCandidatesOfAddress =
    "SELECT UID,CtrUID from MeasuringPoint WHERE MeterADDR = ?";
constexpr const char* kClaimPoint =
    "UPDATE MeasuringPoint set CtrUID = ? WHERE (UID = ?) AND (CtrUID = '0')";
constexpr const char* kInsertPoint =
    "INSERT into MeasuringPoint (CtrUID,MeterADDR,Syntax,MeterSN,MeterInfoBasic,"
    "MeterInfoArch,CustomGroupUID) values(?,?,?,?,?,?,'0')";

std::string_view LineName(std::string_view line) {
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

// A line of an attribute text in the stored form, with its line break: the stored form of the
// lines joined by CR LF, a CR LF after the last.
void AppendStoredLine(std::string& stored, std::string_view line) {
    storage::AppendStoredText(stored, line);
    stored += kStoredLineBreak;
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
    void Add(std::string_view address, std::string stored) {
        stored_.emplace(base::Utf8ToUpper(address), std::move(stored));
    }
    // The stored form of a known address, or null.
    const std::string* Find(std::string_view address) const {
        const auto found = stored_.find(base::Utf8ToUpper(address));
        return found == stored_.end() ? nullptr : &found->second;
    }

  private:
    std::unordered_map<std::string, std::string> stored_;
};

// Every measuring point of the address (in the stored form) is told to show its new values.
void NotePointsOfAddress(InboundContext& context, storage::TSQLiteStatement& pointsOfAddress,
                         std::string_view storedAddress) {
    pointsOfAddress.BindText(1, storedAddress);
    while (pointsOfAddress.Step()) {
        context.events.MeterValuesChanged(pointsOfAddress.ColumnInt64(0));
    }
}

// One meter list of one concentrator, applied meter by meter. The statements are prepared once
// and held for the whole list; the texts of a meter are built in buffers that the next meter
// reuses, directly in the stored form.
class MeterListImport {
  public:
    MeterListImport(InboundContext& context, const std::string& ctrId)
        : context_(context),
          ctrId_(ctrId),
          ctrUid_(CtrUidOf(context.db, ctrId)),
          known_(context.db, ctrUid_),
          update_(context.db.Statement(kUpdateKnown)),
          pointsOfAddress_(context.db.Statement(kPointsOfAddress)),
          candidates_(context.db.Statement(kCandidatesOfAddress)),
          claim_(context.db.Statement(kClaimPoint)),
          insert_(context.db.Statement(kInsertPoint)) {}

    void Import(const xml::TXMLItem& meter) {
        const std::string_view address = AttributeView(&meter, "address");
        if (address.empty()) {
            return;
        }
        ReadMeter(meter);
        if (const std::string* storedAddress = known_.Find(address)) {
            // The row the comparison found is updated, whatever letter case the concentrator
            // used this time, together with every other point of exactly that address.
            BindAttributes(*update_, 1);
            update_->BindText(5, *storedAddress).Execute();
            NotePointsOfAddress(context_, *pointsOfAddress_, *storedAddress);
            return;
        }
        if (!ClaimUnassignedPoints(address)) {
            insert_->BindInt(1, ctrUid_).BindStoredText(2, address);
            BindAttributes(*insert_, 3);
            context_.events.MeterValuesChanged(insert_->Insert());
        }
        context_.events.MeasuringPointsChanged(ctrId_);
        // The point is the concentrator's now: the same address met again further down the
        // list refreshes it rather than adding a second point.
        known_.Add(address, storage::StoredTextEncode(address));
    }

  private:
    // Claims the unassigned measuring points of the address for the concentrator; true when one
    // was claimed.
    bool ClaimUnassignedPoints(std::string_view address) {
        candidates_->BindStoredText(1, address);
        claimUids_.clear();
        while (candidates_->Step()) {
            if (candidates_->ColumnInt64(1) == 0) {
                claimUids_.push_back(candidates_->ColumnInt64(0));
            }
        }
        bool claimed = false;
        for (const int64_t uid : claimUids_) {
            if (claim_->BindInt(1, ctrUid_).BindInt(2, uid).Execute() > 0) {
                context_.events.MeterValuesChanged(uid);
                claimed = true;
            }
        }
        return claimed;
    }

    // The serial number, syntax and the two attribute texts of the meter element.
    void ReadMeter(const xml::TXMLItem& meter) {
        serialNumber_ = "<NULL>";
        syntax_ = "<NULL>";
        basic_.clear();
        arch_.clear();
        size_t varCount = 0;
        for (int i = 0; i < meter.Count(); ++i) {
            const xml::TXMLItem* child = meter.Items(i);
            // The three kinds are told apart by their exact element name.
            if (child->Name() == "var") {
                const std::string_view name = AttributeView(child, "Name");
                const std::string valueText =
                    devices::DecodeVarAnswer(name, AttributeView(child, "Value"));
                if (name == "0000.SerialNumber" || name == "SerialNumber") {
                    serialNumber_ = valueText;
                }
                if (varCount == varLines_.size()) {
                    varLines_.emplace_back();
                }
                std::string& line = varLines_[varCount++];
                line.assign(name);
                line += '=';
                line += valueText;
            } else if (child->Name() == "arch") {
                arch_ +=
                    StoredArchiveLine(AttributeView(child, "AVID"), AttributeView(child, "Des"));
            } else if (child->Name() == "syntax") {
                syntax_ = AttributeView(child, "Value");
            }
        }
        varLines_.resize(varCount);
        ArrangeVariableLines(varLines_);
        for (const std::string& line : varLines_) {
            AppendStoredLine(basic_, line);
        }
        const std::string& received = ReceivedLine();
        AppendStoredLine(basic_, received);
        AppendStoredLine(arch_, received);
    }

    // Syntax, MeterSN, MeterInfoBasic and MeterInfoArch from parameter `first` on, in this order
    // in both statements.
    void BindAttributes(storage::TSQLiteStatement& statement, int first) {
        statement.BindStoredText(first, syntax_)
            .BindStoredText(first + 1, serialNumber_)
            .BindText(first + 2, basic_)
            .BindText(first + 3, arch_);
    }

    // The line of an arch element in the stored form, with its line break. A list names the same
    // few archives for most of its meters: each is described once.
    const std::string& StoredArchiveLine(std::string_view avid, std::string_view descriptor) {
        archiveKey_.assign(avid);
        archiveKey_ += '\n';
        archiveKey_ += descriptor;
        auto found = archiveLines_.find(archiveKey_);
        if (found == archiveLines_.end()) {
            std::string stored;
            AppendStoredLine(stored, ArchiveLine(std::string(avid), std::string(descriptor)));
            found = archiveLines_.emplace(archiveKey_, std::move(stored)).first;
        }
        return found->second;
    }

    // "Данные получены=" and the local date and time of now, formatted once per second.
    const std::string& ReceivedLine() {
        const base::TimePoint now = base::Clock::Now();
        const auto second = std::chrono::floor<std::chrono::seconds>(now);
        if (receivedLine_.empty() || second != receivedSecond_) {
            receivedSecond_ = second;
            receivedLine_ = "Данные получены=" + base::FormatDateTime(base::ToLocal(now));
        }
        return receivedLine_;
    }

    InboundContext& context_;
    const std::string& ctrId_;
    const int64_t ctrUid_;
    KnownAddresses known_;
    storage::TSQLiteCachedStatement update_;
    storage::TSQLiteCachedStatement pointsOfAddress_;
    storage::TSQLiteCachedStatement candidates_;
    storage::TSQLiteCachedStatement claim_;
    storage::TSQLiteCachedStatement insert_;

    std::vector<int64_t> claimUids_;
    std::string serialNumber_;
    std::string_view syntax_;
    std::vector<std::string> varLines_;
    std::string basic_;
    std::string arch_;
    std::string archiveKey_;
    std::unordered_map<std::string, std::string> archiveLines_;
    std::string receivedLine_;
    std::chrono::sys_seconds receivedSecond_{};
};

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

void ImportMeterInventoryText(InboundContext& context, std::string_view text,
                              const std::string& ctrId) {
    MeterListImport list(context, ctrId);
    xml::TECXMLParser document;
    document.LoadFromString(text, [&](xml::TXMLItem& child) {
        if (IsNamed(child, "meter")) {
            list.Import(child);
        }
        return true;
    });
}

void ImportNoise(InboundContext& context, const xml::TXMLItem& root) {
    auto update = context.db.Statement("UPDATE MeasuringPoint set Noise = ? WHERE MeterADDR  = ?");
    auto points = context.db.Statement(kPointsOfAddress);
    std::string storedAddress;
    for (const xml::TXMLItem* channel = xml::FindItem(&root, 0, "channel"); channel != nullptr;
         channel = xml::NextItem(channel)) {
        for (const xml::TXMLItem* node = xml::FindItem(channel, 0, "node"); node != nullptr;
             node = xml::NextItem(node)) {
            // Every measuring point of the address, whatever its concentrator.
            storedAddress.clear();
            storage::AppendStoredText(storedAddress, AttributeView(node, "address"));
            update->BindStoredText(1, AttributeView(node, "nrms"))
                .BindText(2, storedAddress)
                .Execute();
            NotePointsOfAddress(context, *points, storedAddress);
        }
    }
}

}  // namespace zb::inbound
