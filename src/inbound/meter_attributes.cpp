#include "inbound/meter_attributes.h"

#include <sys/stat.h>

#include <exception>

#include "base/clock.h"
#include "base/log.h"
#include "base/text.h"
#include "devices/catalogue.h"
#include "devices/parameter_model.h"
#include "devices/value_formats.h"
#include "link/link_shared.h"
#include "link/mirror.h"
#include "storage/stored_text.h"
#include "xml/xml_tree.h"

namespace zb::inbound {

namespace fs = std::filesystem;
using storage::SqlInt;
using storage::StoredTextDecode;

namespace {

KeyValueRows SplitKeyValueLines(std::string_view text) {
    KeyValueRows rows;
    for (std::string& line : base::SplitLines(text)) {
        if (line.empty()) {
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos) {
            rows.push_back({std::move(line), {}});
        } else {
            rows.push_back({line.substr(0, eq), line.substr(eq + 1)});
        }
    }
    return rows;
}

// The value of the first row whose key is one of `keys` (without regard to case).
const std::string* FindValue(const KeyValueRows& rows,
                             std::initializer_list<std::string_view> keys) {
    for (const KeyValueRow& row : rows) {
        for (const std::string_view key : keys) {
            if (base::EqualsNoCase(row.key, key)) {
                return &row.value;
            }
        }
    }
    return nullptr;
}

bool HasValue(const KeyValueRows& rows, std::initializer_list<std::string_view> keys,
              std::string_view value) {
    for (const KeyValueRow& row : rows) {
        for (const std::string_view key : keys) {
            if (base::EqualsNoCase(row.key, key) && row.value == value) {
                return true;
            }
        }
    }
    return false;
}

bool IsPlainNamePart(std::string_view text) {
    return text.find_first_of(std::string_view("/\\:\0", 4)) == std::string_view::npos;
}

// The modification time of a file as local date and time text; nothing when it has none.
std::optional<std::string> ModificationText(const fs::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0 || info.st_mtime == 0) {
        return std::nullopt;
    }
    const auto when = std::chrono::system_clock::from_time_t(info.st_mtime);
    return base::FormatDateTime(base::ToLocal(when));
}

// The catalogue variable a profile's `var` names: by Name, or else by VID (little-endian
// hexadecimal digits of the identifier). Raises devices::EInvalidArgument for a bad VID.
const devices::TVar* ProfileVariable(const std::string& name, const std::string& vid) {
    if (!name.empty()) {
        if (const devices::TVar* var = devices::FindVarByTitle(devices::VarRoot(), name)) {
            return var;
        }
    }
    if (!vid.empty()) {
        return devices::FindVarByVID(devices::VarRoot(),
                                     static_cast<uint32_t>(devices::StrToHex(vid)));
    }
    return nullptr;
}

}  // namespace

KeyValueRows ReadMeterProfile(const fs::path& profileFile, std::string* error) {
    KeyValueRows rows;
    xml::TECXMLParser document;
    std::optional<std::string> modified;
    try {
        document.LoadFromFile(profileFile);
        modified = ModificationText(profileFile);
    } catch (const std::exception&) {
        return rows;  // a missing or unreadable file: nothing to show
    }
    const xml::TXMLItem* root = document.Root();
    try {
        for (const xml::TXMLItem* var = xml::FindItem(root, 0, "var"); var != nullptr;
             var = xml::NextItem(var)) {
            std::string name, vid;
            xml::ReadParam(var, "Name", "", name);
            xml::ReadParam(var, "VID", "", vid);
            std::string kind;
            if (const devices::TVar* found = ProfileVariable(name, vid)) {
                name = found->Title();
                kind = devices::IsFunctionType(found->TypeCode()) ? kFunctionKind : kParameterKind;
            }
            rows.push_back({std::move(kind), std::move(name)});
        }
    } catch (const devices::EInvalidArgument& e) {
        if (error != nullptr) {
            *error = e.what();
        }
        return rows;
    }
    if (modified) {
        rows.push_back({"Данные получены", *modified});
    }
    return rows;
}

std::optional<fs::path> MeterProfilePath(const fs::path& programDir, std::string_view ctrId,
                                         std::string_view projectId, std::string_view profileId) {
    if (ctrId.empty() || !IsPlainNamePart(ctrId) || ctrId == "." || ctrId == ".." ||
        !IsPlainNamePart(projectId) || !IsPlainNamePart(profileId)) {
        return std::nullopt;
    }
    return link::MirrorDir(programDir, ctrId) / "ROOT" / "INFO" / "PROFILES" /
           ("profile-" + std::string(projectId) + "-" + std::string(profileId) + ".xml");
}

MeterAttributes ReadMeterAttributes(storage::TSQLiteDatabase& db, const fs::path& programDir,
                                    int64_t measuringPointUid) {
    MeterAttributes view;
    {
        auto table = db.QueryTable(
            "SELECT CtrUID,MeterADDR,MeterInfoBasic,MeterInfoArch from MeasuringPoint WHERE UID=" +
            SqlInt(measuringPointUid));
        if (table->AtEnd()) {
            return view;
        }
        view.found = true;
        view.ctrUid = table->FieldInt64(0);
        view.meterAddr = table->FieldText(1);
        view.basic = SplitKeyValueLines(StoredTextDecode(table->FieldText(2)));
        view.archive = SplitKeyValueLines(StoredTextDecode(table->FieldText(3)));
    }
    auto ctr = db.QueryTable("SELECT ID from CTR WHERE UID=" + SqlInt(view.ctrUid));
    if (ctr->AtEnd()) {
        return view;
    }
    view.ctrId = ctr->FieldText(0);
    const std::string* project = FindValue(view.basic, {"0000.ProjectID"});
    const std::string* profile = FindValue(view.basic, {"0000.ProfileID"});
    if (project != nullptr && profile != nullptr) {
        if (const auto path = MeterProfilePath(programDir, view.ctrId, *project, *profile)) {
            view.profile = ReadMeterProfile(*path, &view.profileError);
        }
    }
    return view;
}

bool ProfileMatches(const KeyValueRows& basic, std::string_view projectId,
                    std::string_view profileId) {
    return HasValue(basic, {"0000.ProjectID", "ProjectID"}, projectId) &&
           HasValue(basic, {"0000.ProfileID", "ProfileID"}, profileId);
}

void RunProfileHook(const link::ReceivedFile& file) {
    std::string projectId, profileId;
    if (!link::ParseProfileName(file.fileName, projectId, profileId)) {
        return;
    }
    std::string error;
    const KeyValueRows rows = ReadMeterProfile(file.mirrorPath, &error);
    if (!error.empty()) {
        // The message quotes what the concentrator wrote.
        base::LogLine("CtrID = " + file.ctrId + ", " + link::PeerText(error));
    }
    base::Events().ProfileReceived(file.ctrId, projectId, profileId, rows);
}

}  // namespace zb::inbound
