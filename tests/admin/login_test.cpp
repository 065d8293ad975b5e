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
                        "," + SqlText(login) + "," + SqlText(password) + ",\"\")");
    }
};

TEST_F(LoginTest, PrefillOnlyWithExactlyOneOperator) {
    auto fields = PrefillLogin(*db_);
    ASSERT_TRUE(fields.has_value());
    EXPECT_EQ(fields->login, "KREMU");
    EXPECT_EQ(fields->password, "KREMU");

    AddOperatorRow("Иван", "IVAN", "P&<1>");
    EXPECT_FALSE(PrefillLogin(*db_).has_value());

    db_->ExecuteSql("DELETE from Operator");
    EXPECT_FALSE(PrefillLogin(*db_).has_value());

    // The pre-filled texts come out of the stored text form.
    AddOperatorRow("Иван", "I\"V", "P&<1>");
    fields = PrefillLogin(*db_);
    ASSERT_TRUE(fields.has_value());
    EXPECT_EQ(fields->login, "I\"V");
    EXPECT_EQ(fields->password, "P&<1>");
}

TEST_F(LoginTest, EmptyTableHealsAndBuiltInAdministratorLogsIn) {
    db_->ExecuteSql("DELETE from Operator");
    auto outcome = TryLogin(*db_, "KREMU", "KREMU");
    ASSERT_TRUE(outcome.loggedIn.has_value()) << outcome.warning;
    EXPECT_EQ(Count("Operator"), 1);
    EXPECT_EQ(OperatorStatusText(*outcome.loggedIn), "KREMU/Администратор");
    EXPECT_TRUE(HasAdministrationRight(outcome.loggedIn->login));
    EXPECT_EQ(outcome.loggedIn->uid, db_->QueryTable("SELECT UID from Operator")->FieldInt64(0));
}

TEST_F(LoginTest, WrongPasswordOnEmptyTableStillHealsOnce) {
    db_->ExecuteSql("DELETE from Operator");
    auto outcome = TryLogin(*db_, "KREMU", "WRONG");
    EXPECT_FALSE(outcome.loggedIn.has_value());
    EXPECT_EQ(outcome.warning, "Неверный Пароль!");
    EXPECT_EQ(Count("Operator"), 1);
    outcome = TryLogin(*db_, "KREMU", "WRONG");
    EXPECT_EQ(outcome.warning, "Неверный Пароль!");
    EXPECT_EQ(Count("Operator"), 1);
}

TEST_F(LoginTest, UnknownLoginIsRefused) {
    auto outcome = TryLogin(*db_, "NOBODY", "KREMU");
    EXPECT_FALSE(outcome.loggedIn.has_value());
    EXPECT_EQ(outcome.warning, "Неверный Логин!");
    outcome = TryLogin(*db_, "", "");
    EXPECT_EQ(outcome.warning, "Неверный Логин!");
}

TEST_F(LoginTest, TypedTextIsUpperCasedIncludingCyrillic) {
    EXPECT_EQ(LoginFieldText("kremu"), "KREMU");
    EXPECT_EQ(LoginFieldText("иван ёж"), "ИВАН ЁЖ");

    AddOperatorRow("Иван", "ИВАН", "ПАРОЛЬ1");
    auto outcome = TryLogin(*db_, "иван", "пароль1");
    ASSERT_TRUE(outcome.loggedIn.has_value()) << outcome.warning;
    EXPECT_EQ(outcome.loggedIn->login, "ИВАН");
    EXPECT_FALSE(HasAdministrationRight(outcome.loggedIn->login));
}

TEST_F(LoginTest, LowerCaseStoredLoginOrPasswordCannotLogIn) {
    AddOperatorRow("Пётр", "petr", "PASS");
    EXPECT_EQ(TryLogin(*db_, "petr", "PASS").warning, "Неверный Логин!");
    AddOperatorRow("Павел", "PAVEL", "pass");
    EXPECT_EQ(TryLogin(*db_, "PAVEL", "pass").warning, "Неверный Пароль!");
}

TEST_F(LoginTest, QuotesAndMarkupAreComparedInStoredForm) {
    AddOperatorRow("Кавычка", "A\"B<C>", "&'\"");
    auto outcome = TryLogin(*db_, "a\"b<c>", "&'\"");
    ASSERT_TRUE(outcome.loggedIn.has_value()) << outcome.warning;
    EXPECT_EQ(outcome.loggedIn->login, "A\"B<C>");
    EXPECT_EQ(OperatorStatusText(*outcome.loggedIn), "A\"B<C>/Кавычка");
}

TEST_F(LoginTest, FirstOfTwoEqualLoginsDecides) {
    AddOperatorRow("Первый", "TWIN", "ONE");
    AddOperatorRow("Второй", "TWIN", "TWO");
    auto first = TryLogin(*db_, "TWIN", "ONE");
    ASSERT_TRUE(first.loggedIn.has_value());
    EXPECT_EQ(first.loggedIn->name, "Первый");
    EXPECT_EQ(TryLogin(*db_, "TWIN", "TWO").warning, "Неверный Пароль!");
}

TEST(AdministrationRight, OnlyExactKremu) {
    EXPECT_TRUE(HasAdministrationRight("KREMU"));
    EXPECT_FALSE(HasAdministrationRight("kremu"));
    EXPECT_FALSE(HasAdministrationRight("KREMU "));
    EXPECT_FALSE(HasAdministrationRight(""));
}

}  // namespace
}  // namespace zb::admin
