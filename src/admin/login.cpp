#include "admin/login.h"

#include "base/text.h"
#include "storage/schema.h"
#include "storage/sqlite_database.h"
#include "storage/stored_text.h"

namespace zb::admin {

using storage::StoredTextDecode;
using storage::StoredTextEncode;

std::optional<LoginFields> PrefillLogin(storage::TSQLiteDatabase& db) {
    auto table = db.QueryTable("SELECT * from Operator");
    if (table->RowCount() != 1) {
        return std::nullopt;
    }
    return LoginFields{StoredTextDecode(table->FieldText("Login")),
                       StoredTextDecode(table->FieldText("Password"))};
}

std::string LoginFieldText(const std::string& typed) {
    return base::Utf8ToUpper(typed);
}

LoginOutcome TryLogin(storage::TSQLiteDatabase& db, const std::string& login,
                      const std::string& password) {
    // Deleting every operator is healed here: the built-in administrator comes back.
    if (db.QueryTable("SELECT UID from Operator")->AtEnd()) {
        storage::InsertBuiltInAdministrator(db);
    }
    auto table = db.QueryTable("SELECT UID,Name,Login,Password from Operator WHERE Login=" +
                               storage::SqlText(LoginFieldText(login)));
    if (table->AtEnd()) {
        return {std::nullopt, kWrongLogin};
    }
    if (StoredTextEncode(LoginFieldText(password)) != table->FieldText("Password")) {
        return {std::nullopt, kWrongPassword};
    }
    CurrentOperator op;
    op.uid = table->FieldInt64(0);
    op.login = StoredTextDecode(table->FieldText("Login"));
    op.name = StoredTextDecode(table->FieldText("Name"));
    return {op, {}};
}

std::string OperatorStatusText(const CurrentOperator& op) {
    return op.login + "/" + op.name;
}

bool HasAdministrationRight(const std::string& login) {
    return login == kAdministrationLogin;
}

}  // namespace zb::admin
