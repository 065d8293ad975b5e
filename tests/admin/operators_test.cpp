// The operators register and the login rules over a real database file.
#include "admin/operators.h"
#include "admin/login.h"
#include "admin/reference.h"
#include "admin_db_fixture.h"
#include "storage/stored_text.h"

namespace zb::admin {
namespace {

using storage::SqlText;

class OperatorsTest : public testing::AdminDbTest {};

// The empty-field refusals and duplicate warnings of an add are driven through the page.
TEST_F(OperatorsTest, SaveSkipsTheUniquenessCheckAndTheAdministratorKeepsItsLogin) {
    auto ivan = AddOperator(*db_, {"Иван & Ко", "IVAN", "P\"W"});
    ASSERT_TRUE(ivan.Added()) << ivan.warning;
    auto petr = AddOperator(*db_, {"Пётр", "PETR", "2"});
    EXPECT_EQ(SaveOperator(*db_, petr.uid, {"Пётр", "IVAN", "3"}), "");
    EXPECT_EQ(ReadOperator(*db_, petr.uid)->login, "IVAN");

    const int64_t admin = LoadOperators(*db_).at(0).uid;
    EXPECT_EQ(SaveOperator(*db_, admin, {"Администратор", "HACKER", "NEW"}), "");
    EXPECT_EQ(ReadOperator(*db_, admin)->login + "/" + ReadOperator(*db_, admin)->password,
              "KREMU/NEW");
    EXPECT_FALSE(OperatorIsProtected("kremu"));
    EXPECT_FALSE(DeleteOperator(*db_, admin));
    EXPECT_FALSE(DeleteOperator(*db_, 0));

    // Deleting another operator leaves the works it started.
    db_->ExecuteSql("INSERT into Work (OperatorUID) values(" + std::to_string(ivan.uid) + ")");
    EXPECT_TRUE(DeleteOperator(*db_, ivan.uid));
    EXPECT_FALSE(ReadOperator(*db_, ivan.uid).has_value());
    EXPECT_EQ(Count("Operator"), 2);
    EXPECT_EQ(Count("Work"), 1);
}

// Typed values that spell column names are texts: they match only themselves.
TEST_F(OperatorsTest, NamesThatSpellColumnsAreTextsEverywhere) {
    for (const char* word : {"Name", "Password", "Login", "UID"}) {
        auto result = AddOperator(*db_, {word, word, word});
        ASSERT_TRUE(result.Added()) << word << ": " << result.warning;
        EXPECT_EQ(SaveOperator(*db_, result.uid, {word, word, "Password"}), "");
        auto record = ReadOperator(*db_, result.uid);
        EXPECT_EQ(record->name, word);
        EXPECT_EQ(record->password, "Password");
    }
    EXPECT_EQ(Count("Operator"), 5);
    EXPECT_EQ(Cell("SELECT Name from Operator WHERE Login='KREMU'"), "Администратор");

    for (const FamilyRegister* reg : {&CustomersRegister(), &CategoriesRegister(),
                                      &BalanceGroupsRegister(), &ProvidersRegister()}) {
        FamilyRecord record{0, std::vector<std::string>(reg->fields.size(), "Name")};
        ASSERT_TRUE(AddFamilyRecord(*db_, *reg, record).Added()) << reg->table;
        EXPECT_FALSE(AddFamilyRecord(*db_, *reg, record).Added()) << reg->table;
        record.texts[0] = "UID";
        EXPECT_TRUE(AddFamilyRecord(*db_, *reg, record).Added()) << reg->table;
        EXPECT_EQ(Count(reg->table), 2) << reg->table;
    }
    const int64_t customer = LoadFamily(*db_, CustomersRegister()).at(0).uid;
    const int64_t contract = AddContract(*db_, customer, "Name");
    AddAccount(*db_, customer, contract, "ContractUID");
    EXPECT_EQ(Count("Contract", "Name='Name'"), 1);
    EXPECT_EQ(Count("Account", "Name='ContractUID'"), 1);
}

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
    db_->ExecuteSql("UPDATE Operator set Password='A&quot;B'");  // the stored text form
    EXPECT_EQ(PrefillLogin(*db_).value().password, "A\"B");
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
