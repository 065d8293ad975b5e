#include "inbound/result_file.h"

#include <system_error>
#include <vector>

#include "base/text.h"
#include "inbound/results_store.h"
#include "link/mirror.h"
#include "storage/stored_text.h"

namespace zb::inbound {

using storage::SqlInt;
using storage::SqlText;

namespace {

// The ID text of the concentrator row, as the command's effects name it; " " without a row.
std::string CtrIdTextOf(storage::TSQLiteDatabase& db, int64_t ctrUid) {
    auto table = db.QueryTable("SELECT ID from CTR WHERE UID=" + SqlInt(ctrUid));
    if (table->RowCount() == 0) {
        return " ";
    }
    return storage::StoredTextDecode(table->FieldText(0));
}

bool HasRow(const std::string& ctrIdText) {
    return ctrIdText != " ";
}

void DeletePeriodicFile(InboundContext& context, const std::string& ctrIdText,
                        const std::string& linkPath) {
    // The value names the file on the concentrator ("ROOT\WORK\PERIODIC\<name>"); it is mapped
    // into that concentrator's mirror, and a path that would leave the mirror deletes nothing.
    // Failures are of no consequence: the copy of the periodic work is simply gone already.
    const auto path = link::MapLinkPath(link::MirrorDir(context.programDir, ctrIdText), linkPath);
    // Only a file is deleted: a value naming one of the mirror's folders leaves it in place.
    std::error_code ignored;
    if (path && std::filesystem::symlink_status(*path, ignored).type() ==
                    std::filesystem::file_type::regular) {
        std::filesystem::remove(*path, ignored);
    }
    if (HasRow(ctrIdText)) {
        context.events.PeriodicWorksChanged(ctrIdText);
    }
}

void StoreProfile(InboundContext& context, int64_t ctrUid, const std::string& ctrIdText,
                  const std::string& answerValue) {
    context.db.ExecuteSql("UPDATE CTR set Profile = " + SqlText(ProfileText(answerValue)) +
                          " WHERE UID = " + SqlInt(ctrUid));
    if (HasRow(ctrIdText)) {
        context.events.CtrValuesChanged(ctrIdText);
    }
}

void StoreParams(InboundContext& context, const xml::TXMLItem& command, int64_t ctrUid,
                 const std::string& ctrIdText) {
    std::vector<std::string> lines;
    for (const xml::TXMLItem* ans = xml::FindItem(&command, 0, "ans"); ans != nullptr;
         ans = xml::NextItem(ans)) {
        if (Attribute(ans, "Result") == "DONE") {
            lines.push_back(Attribute(ans, "Param") + "=" +
                            storage::StoredTextDecode(Attribute(ans, "Value")));
        }
    }
    lines.push_back(DataReceivedLine());
    context.db.ExecuteSql("UPDATE CTR set InfoBasic = " + SqlText(JoinLines(lines, true)) +
                          " WHERE UID = " + SqlInt(ctrUid));
    if (HasRow(ctrIdText)) {
        context.events.CtrValuesChanged(ctrIdText);
    }
}

void DeleteMeters(InboundContext& context, int64_t ctrUid, const std::string& ctrIdText,
                  const std::string& requestValue) {
    if (ctrUid == 0) {
        // No concentrator row: its points cannot be told. Deleting "the points of concentrator
        // 0" would remove every unassigned measuring point instead.
        return;
    }
    if (requestValue == "ANY") {
        context.db.ExecuteSql("DELETE from MeasuringPoint WHERE CtrUID = " + SqlInt(ctrUid));
    } else {
        size_t start = 0;
        while (true) {
            const size_t comma = requestValue.find(',', start);
            const std::string piece = requestValue.substr(
                start, comma == std::string::npos ? std::string::npos : comma - start);
            context.db.ExecuteSql("DELETE from MeasuringPoint WHERE (CtrUID = " + SqlInt(ctrUid) +
                                  ") AND (MeterADDR=" + SqlText(piece) + ")");
            if (comma == std::string::npos) {
                break;
            }
            start = comma + 1;
        }
    }
    if (HasRow(ctrIdText)) {
        context.events.MeasuringPointsChanged(ctrIdText);
    }
}

}  // namespace

std::string ProfileText(const std::string& answerValue) {
    return base::ReplaceAll(answerValue, ",", "\r\n") + "\r\n" + DataReceivedLine();
}

void ApplyCommandResult(InboundContext& context, const xml::TXMLItem& command, int64_t ctrUid) {
    const std::string ctrIdText = CtrIdTextOf(context.db, ctrUid);
    const xml::TXMLItem* req = xml::FindItem(&command, 0, "req");
    const std::string var = Attribute(req, "Var");
    const xml::TXMLItem* ans = xml::FindItem(&command, 0, "ans");
    if (req == nullptr || var.empty() || ans == nullptr) {
        return;
    }
    const std::string requestValue = Attribute(req, "Value");
    const bool done = Attribute(ans, "Result") == "DONE";

    if (var == "DeleteFile") {
        if (done) {
            DeletePeriodicFile(context, ctrIdText, requestValue);
        }
    } else if (var == "GetProfile") {
        if (done) {
            StoreProfile(context, ctrUid, ctrIdText, Attribute(ans, "Value"));
        }
    } else if (var == "GetParams") {
        StoreParams(context, command, ctrUid, ctrIdText);
    } else if (var == "DeleteMeter") {
        DeleteMeters(context, ctrUid, ctrIdText, requestValue);
    }
}

namespace {

void ApplyTask(InboundContext& context, const xml::TXMLItem& task, int64_t ctrUid) {
    CurrentRequest& request = context.request;
    request.taskUid = Attribute(&task, "TaskUID");
    if (request.taskUid.empty()) {
        return;
    }
    if (AttributeView(&task, "Syntax") == "ZARNIC") {
        StoreZarnicRequestResults(context, task, ctrUid);
    } else {
        StorePlainRequestResults(context, task, ctrUid);
    }
}

void ApplyCommands(InboundContext& context, const xml::TXMLItem& root, int64_t ctrUid) {
    for (const xml::TXMLItem* command = xml::FindItem(&root, 0, "command"); command != nullptr;
         command = xml::NextItem(command)) {
        ApplyCommandResult(context, *command, ctrUid);
    }
}

}  // namespace

void ProcessResultText(InboundContext& context, std::string_view text, const std::string& ctrId) {
    const int64_t ctrUid = CtrUidOf(context.db, ctrId);
    CurrentRequest& request = context.request;
    request = CurrentRequest();
    // The first workUID decides. Tasks read before it wait in the tree; once it is known, each
    // task is applied as soon as its end tag is read and then freed. Commands wait for the end.
    bool workRead = false;
    xml::TECXMLParser document;
    document.LoadFromString(text, [&](xml::TXMLItem& child) {
        if (!workRead) {
            if (!IsNamed(child, "workUID")) {
                return false;
            }
            workRead = true;
            request.workUid = Attribute(&child, "Value");
            if (request.workUid.empty()) {
                return false;
            }
            for (const xml::TXMLItem* task = xml::FindItem(child.Parent(), 0, "task");
                 task != nullptr; task = xml::NextItem(task)) {
                ApplyTask(context, *task, ctrUid);
            }
            return false;
        }
        if (request.workUid.empty()) {
            return true;  // the file changes nothing
        }
        if (IsNamed(child, "command")) {
            return false;
        }
        if (IsNamed(child, "task")) {
            ApplyTask(context, child, ctrUid);
        }
        return true;
    });
    if (!request.workUid.empty()) {
        ApplyCommands(context, *document.Root(), ctrUid);
    }
}

}  // namespace zb::inbound
