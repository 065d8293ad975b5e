#pragma once
// The operators register: list, read, add with the name and login checks, save, delete. The
// operator with the login "KREMU" can be neither deleted nor given another login.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "admin/common.h"

namespace zb::admin {

namespace operator_texts {
inline constexpr const char* kRoot = "Операторы";
inline constexpr const char* kHeader = "Оператор";
inline constexpr const char* kHeaderEdit = "Оператор (редактировать)";
inline constexpr const char* kHeaderNew = "Новый оператор";
inline constexpr const char* kNewNamePrompt = "Введите имя нового оператора";
inline constexpr const char* kAddHint = "Добавить нового оператора";
inline constexpr const char* kDeleteHint = "Удалить выбранного оператора";
inline constexpr const char* kNameEmpty = "Поле \"Имя\" не может быть пустым!";
inline constexpr const char* kLoginEmpty = "Поле \"Логин\" не может быть пустым!";
inline constexpr const char* kPasswordEmpty = "Поле \"Пароль\" не может быть пустым!";
inline constexpr const char* kNameExists =
    "Оператор с таким Именем уже существует,\r\nдобавление невозможно!";
inline constexpr const char* kLoginExists =
    "Оператор с таким Логином уже существует,\r\nдобавление невозможно!";
}  // namespace operator_texts

struct OperatorRecord {
    std::string name;
    std::string login;
    std::string password;
};

// "SELECT UID,Name from Operator", names decoded, in database order.
std::vector<Row> LoadOperators(storage::TSQLiteDatabase& db);

// The decoded name, login and password of an operator; nothing when the row is gone.
std::optional<OperatorRecord> ReadOperator(storage::TSQLiteDatabase& db, int64_t uid);

// Whether an operator with this login may be deleted and have its login changed.
bool OperatorIsProtected(const std::string& login);

// The first empty field's warning (name, login, password in that order), or empty text.
std::string CheckOperatorFields(const OperatorRecord& record);

// Add mode: the field checks, the unique name, the unique login, then the INSERT.
AddResult AddOperator(storage::TSQLiteDatabase& db, const OperatorRecord& record);

// Edit mode: the field checks, then the UPDATE (no uniqueness check). The protected operator
// keeps its login whatever the record says. Returns the warning that
// refused the save, or empty text when it was saved.
std::string SaveOperator(storage::TSQLiteDatabase& db, int64_t uid, const OperatorRecord& record);

std::string OperatorUpdateSql(int64_t uid, const OperatorRecord& record);

// "DELETE from Operator WHERE UID = ...". The root (0) and the protected operator are never
// deleted; returns whether a row was deleted.
bool DeleteOperator(storage::TSQLiteDatabase& db, int64_t uid);

}  // namespace zb::admin
