#include "admin/operators.h"

#include "storage/sqlite_database.h"
#include "storage/stored_text.h"

namespace zb::admin {

using storage::SqlInt;
using storage::SqlText;
using storage::StoredTextDecode;

std::vector<Row> LoadOperators(storage::TSQLiteDatabase& db) {
    return QueryRows(db, "SELECT UID,Name from Operator");
}

std::optional<OperatorRecord> ReadOperator(storage::TSQLiteDatabase& db, int64_t uid) {
    auto table =
        db.QueryTable("SELECT Name,Login,Password,XML from Operator WHERE UID = " + SqlInt(uid));
    if (table->AtEnd()) {
        return std::nullopt;
    }
    return OperatorRecord{StoredTextDecode(table->FieldText(0)),
                          StoredTextDecode(table->FieldText(1)),
                          StoredTextDecode(table->FieldText(2))};
}

bool OperatorIsProtected(const std::string& login) {
    return login == "KREMU";
}

std::string CheckOperatorFields(const OperatorRecord& record) {
    if (record.name.empty()) {
        return operator_texts::kNameEmpty;
    }
    if (record.login.empty()) {
        return operator_texts::kLoginEmpty;
    }
    if (record.password.empty()) {
        return operator_texts::kPasswordEmpty;
    }
    return {};
}

AddResult AddOperator(storage::TSQLiteDatabase& db, const OperatorRecord& record) {
    if (auto warning = CheckOperatorFields(record); !warning.empty()) {
        return AddResult::Refused(warning);
    }
    if (!db.QueryTable("SELECT Name from Operator WHERE Name=" + SqlText(record.name))->AtEnd()) {
        return AddResult::Refused(operator_texts::kNameExists);
    }
    if (!db.QueryTable("SELECT Login from Operator WHERE Login=" + SqlText(record.login))
             ->AtEnd()) {
        return AddResult::Refused(operator_texts::kLoginExists);
    }
    return AddResult::NewRow(db.InsertSql("INSERT into Operator (Name,Login,Password,XML) values(" +
                                          SqlText(record.name) + "," + SqlText(record.login) + "," +
                                          SqlText(record.password) + "," + SqlText("") + ")"));
}

std::string OperatorUpdateSql(int64_t uid, const OperatorRecord& record) {
    return "UPDATE Operator set Name      = " + SqlText(record.name) +
           ", Login     = " + SqlText(record.login) + ", Password  = " + SqlText(record.password) +
           ", XML       = " + SqlText("") + " WHERE UID = " + SqlInt(uid);
}

std::string SaveOperator(storage::TSQLiteDatabase& db, int64_t uid, const OperatorRecord& record) {
    if (auto warning = CheckOperatorFields(record); !warning.empty()) {
        return warning;
    }
    OperatorRecord saved = record;
    if (auto current = ReadOperator(db, uid); current && OperatorIsProtected(current->login)) {
        saved.login = current->login;
    }
    db.ExecuteSql(OperatorUpdateSql(uid, saved));
    return {};
}

bool DeleteOperator(storage::TSQLiteDatabase& db, int64_t uid) {
    if (uid == 0) {
        return false;
    }
    if (auto current = ReadOperator(db, uid); current && OperatorIsProtected(current->login)) {
        return false;
    }
    db.ExecuteSql("DELETE from Operator WHERE UID = " + SqlInt(uid));
    return true;
}

}  // namespace zb::admin
