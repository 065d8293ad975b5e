#include "admin/concentrators.h"

#include <cstdio>

#include "base/text.h"
#include "link/mirror.h"
#include "link/service_command.h"
#include "storage/sqlite_database.h"
#include "storage/stored_text.h"

namespace zb::admin {

using storage::SqlInt;
using storage::SqlText;
using storage::StoredTextDecode;

namespace {

// 1 to 8 hexadecimal digits and nothing else: the only IDs that may name a directory.
bool IsPlainHexId(const std::string& id) {
    if (id.empty() || id.size() > 8) {
        return false;
    }
    for (const char c : id) {
        if (!base::IsHexDigit(c)) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<std::string> CanonicalCtrId(const std::string& typed) {
    const std::string id = link::NormalizeCtrIdText(typed);
    if (id.empty() || id.find_first_not_of("0123456789ABCDEF") != std::string::npos) {
        return std::nullopt;
    }
    // Leading zeros do not count against the eight digits of a 32-bit ID.
    const size_t first = id.find_first_not_of('0');
    const std::string digits = first == std::string::npos ? "0" : id.substr(first);
    if (digits.size() > 8) {
        return std::nullopt;
    }
    return link::CtrIdText(static_cast<uint32_t>(std::stoul(digits, nullptr, 16)));
}

std::vector<Row> LoadCtrs(storage::TSQLiteDatabase& db) {
    std::vector<Row> rows;
    auto table = db.QueryTable("SELECT UID,ID,Comment from CTR");
    while (!table->AtEnd()) {
        rows.push_back({table->FieldInt64(0), NodeText(StoredTextDecode(table->FieldText(1)),
                                                       StoredTextDecode(table->FieldText(2)))});
        table->Next();
    }
    return rows;
}

std::optional<CtrView> ReadCtr(storage::TSQLiteDatabase& db, int64_t uid) {
    auto table = db.QueryTable(
        "SELECT ID,Comment,Password,InfoBasic,Profile,XML from CTR WHERE "
        "UID = " +
        SqlInt(uid));
    if (table->AtEnd()) {
        return std::nullopt;
    }
    CtrView view;
    view.record.id = StoredTextDecode(table->FieldText(0));
    view.record.comment = StoredTextDecode(table->FieldText(1));
    view.record.password = StoredTextDecode(table->FieldText(2));
    view.infoBasic = SplitValueLines(StoredTextDecode(table->FieldText(3)));
    view.profile = SplitValueLines(StoredTextDecode(table->FieldText(4)));
    return view;
}

CtrSaveResult AddCtr(storage::TSQLiteDatabase& db, const CtrRecord& record) {
    const auto id = CanonicalCtrId(record.id);
    if (!id) {
        return {ctr_texts::kInvalidId};
    }
    if (!db.QueryTable("SELECT UID from CTR WHERE ID=" + SqlText(*id))->AtEnd()) {
        return {ctr_texts::kDuplicateId};
    }
    const int64_t uid = db.InsertSql("INSERT into CTR (ID,Comment,Password,XML) values(" +
                                     SqlText(*id) + "," + SqlText(record.comment) + "," +
                                     SqlText(record.password) + "," + SqlText("") + ")");
    return {{}, uid, *id};
}

void PrepareMirror(const std::filesystem::path& programDir, const std::string& ctrId) {
    link::CreateMirrorFolders(programDir, ctrId);
    link::QueueRegistrationCommands(programDir, ctrId);
}

std::string CtrUpdateSql(int64_t uid, const CtrRecord& record) {
    return "UPDATE CTR set ID        = " + SqlText(record.id) +
           ", Comment   = " + SqlText(record.comment) +
           ", Password  = " + SqlText(record.password) + ", XML       = " + SqlText("") +
           " WHERE UID = " + SqlInt(uid);
}

CtrSaveResult SaveCtr(storage::TSQLiteDatabase& db, int64_t uid, const CtrRecord& record) {
    const auto id = CanonicalCtrId(record.id);
    if (!id) {
        return {ctr_texts::kInvalidId};
    }
    CtrRecord saved = record;
    saved.id = *id;
    db.ExecuteSql(CtrUpdateSql(uid, saved));
    return {{}, uid, *id};
}

void DeleteCtr(storage::TSQLiteDatabase& db, int64_t uid, const MirrorDeleter& deleteMirror) {
    if (uid == 0) {
        return;
    }
    db.ExecuteSql("UPDATE MeasuringPoint set CtrUID = '0' WHERE CtrUID  = " + SqlInt(uid));
    auto table = db.QueryTable("SELECT ID from CTR WHERE UID=" + SqlInt(uid));
    if (!table->AtEnd()) {
        const std::string storedId = table->FieldText(0);
        if (IsPlainHexId(storedId)) {
            deleteMirror(storedId);
        }
    }
    db.ExecuteSql("DELETE from CTR WHERE UID = " + SqlInt(uid));
}

std::string RefreshCtr(const std::filesystem::path& programDir, const std::string& typedId) {
    const auto id = CanonicalCtrId(typedId);
    if (!id) {
        return ctr_texts::kInvalidId;
    }
    link::QueueAttributeRefresh(programDir, *id);
    return {};
}

std::optional<std::string> SpinCtrId(const std::string& text, bool up) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const long value = std::stol(text);
    if ((up && value == 9999) || (!up && value == 0)) {
        return std::nullopt;
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04ld", up ? value + 1 : value - 1);
    return std::string(buf);
}

std::string LastAddressText(const std::optional<std::string>& address) {
    return address ? *address : std::string(ctr_texts::kNoAddress);
}

bool CanOpenAddress(const std::string& shown) {
    return shown != ctr_texts::kNoAddress && !shown.empty();
}

std::string CtrPageUrl(const std::string& address) {
    return "http://" + address;
}

}  // namespace zb::admin
