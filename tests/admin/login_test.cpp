#include "admin/login.h"

#include "admin_db_fixture.h"
#include "storage/stored_text.h"

namespace zb::admin {
namespace {

using storage::SqlText;

class LoginTest : public testing::AdminDbTest {
  protected:
    void AddOperatorRow(const std::string& name, const std::string& login,
                        const std::string& password) {
        db_->ExecuteSql("INSERT into Operator (Name,Login,Password,XML) values(" + SqlText(name) +
                        "," + SqlText(login) + "," + SqlText(password) + ",'')");
    }

    // The status text of the operator logged in, or the warning that refused the login.
    std::string Login(const std::string& login, const std::string& password) {
        const LoginOutcome outcome = TryLogin(*db_, login, password);
        return outcome.loggedIn ? OperatorStatusText(*outcome.loggedIn) : outcome.warning;
    }
};

// The pre-filled administrator and the blank fields of two operators are seen by the shell test.
TEST_F(LoginTest, EmptyTableHealsOnceWhateverThePassword) {
    db_->ExecuteSql("DELETE from Operator");
    EXPECT_FALSE(PrefillLogin(*db_).has_value());
    EXPECT_EQ(Login("KREMU", "WRONG"), kWrongPassword);
    EXPECT_EQ(Login("KREMU", "WRONG"), kWrongPassword);
    EXPECT_EQ(Count("Operator"), 1);
    EXPECT_EQ(TryLogin(*db_, "KREMU", "KREMU").loggedIn.value().uid,
              db_->QueryTable("SELECT UID from Operator")->FieldInt64(0));
}

// The administrator's login and a wrong login or password are driven through the shell.
TEST_F(LoginTest, TypedTextIsUpperCasedAndComparedWithTheStoredForm) {
    EXPECT_EQ(LoginFieldText("иван ёж"), "ИВАН ЁЖ");

    AddOperatorRow("Иван", "ИВАН", "ПАРОЛЬ1");
    AddOperatorRow("Пётр", "petr", "PASS");  // stored in lower case: can never match
    AddOperatorRow("Павел", "PAVEL", "pass");
    AddOperatorRow("Кавычка", "A\"B<C>", "&'\"");
    AddOperatorRow("Первый", "TWIN", "ONE");  // of two equal logins the first decides
    AddOperatorRow("Второй", "TWIN", "TWO");
    const struct {
        const char* login;
        const char* password;
        const char* expected;
    } cases[] = {
        {"", "", kWrongLogin},
        {"иван", "пароль1", "ИВАН/Иван"},
        {"petr", "PASS", kWrongLogin},
        {"PAVEL", "pass", kWrongPassword},
        {"a\"b<c>", "&'\"", "A\"B<C>/Кавычка"},
        {"TWIN", "ONE", "TWIN/Первый"},
        {"TWIN", "TWO", kWrongPassword},
        // Logins and passwords that spell column names are texts, never the columns.
        {"LOGIN", "PASSWORD", kWrongLogin},
        {"KREMU", "PASSWORD", kWrongPassword},
        {"NAME", "KREMU", kWrongLogin},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Login(c.login, c.password), c.expected) << c.login << " / " << c.password;
    }
    // Only the exact login opens the administration section.
    EXPECT_TRUE(HasAdministrationRight("KREMU"));
    EXPECT_FALSE(HasAdministrationRight("KREMU "));
}

}  // namespace
}  // namespace zb::admin
