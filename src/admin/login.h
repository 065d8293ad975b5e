#pragma once
// The operator login: the pre-filled fields, the check of login and password, the healing of an
// empty operator table, and the one right the system distinguishes.
#include <cstdint>
#include <optional>
#include <string>

namespace zb::storage {
class TSQLiteDatabase;
}

namespace zb::admin {

inline constexpr const char* kWrongLogin = "Неверный Логин!";
inline constexpr const char* kWrongPassword = "Неверный Пароль!";

// The login whose operator may open the administration section.
inline constexpr const char* kAdministrationLogin = "KREMU";

struct LoginFields {
    std::string login;
    std::string password;
};

// With exactly one operator in the table, its decoded login and password; otherwise nothing.
std::optional<LoginFields> PrefillLogin(storage::TSQLiteDatabase& db);

// The operator of a successful login.
struct CurrentOperator {
    int64_t uid = 0;
    std::string login;  // decoded
    std::string name;   // decoded
};

struct LoginOutcome {
    std::optional<CurrentOperator> loggedIn;
    std::string warning;  // kWrongLogin or kWrongPassword when refused
};

// Both login fields turn every typed letter into upper case (Cyrillic letters too).
std::string LoginFieldText(const std::string& typed);

// The login action: inserts the built-in administrator while the table is empty, then looks the
// (upper-cased) login up and compares the (upper-cased) password. The first matching row decides.
LoginOutcome TryLogin(storage::TSQLiteDatabase& db, const std::string& login,
                      const std::string& password);

// The first status panel: "<login>/<name>".
std::string OperatorStatusText(const CurrentOperator& op);

// Only the login "KREMU", exactly, opens the administration section.
bool HasAdministrationRight(const std::string& login);

}  // namespace zb::admin
