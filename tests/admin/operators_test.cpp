#include "admin/operators.h"

#include "admin_db_fixture.h"

namespace zb::admin {
namespace {

class OperatorsTest : public testing::AdminDbTest {};

TEST(OperatorChecks, FirstEmptyFieldWinsInNameLoginPasswordOrder) {
    EXPECT_EQ(CheckOperatorFields({"", "", ""}), "Поле \"Имя\" не может быть пустым!");
    EXPECT_EQ(CheckOperatorFields({"", "L", "P"}), "Поле \"Имя\" не может быть пустым!");
    EXPECT_EQ(CheckOperatorFields({"N", "", ""}), "Поле \"Логин\" не может быть пустым!");
    EXPECT_EQ(CheckOperatorFields({"N", "L", ""}), "Поле \"Пароль\" не может быть пустым!");
    EXPECT_EQ(CheckOperatorFields({"N", "L", "P"}), "");
}

TEST(OperatorChecks, UpdateStatementKeepsItsSpacing) {
    EXPECT_EQ(OperatorUpdateSql(7, {"Иван \"И\"", "IVAN", "P<1>"}),
              "UPDATE Operator set Name      = \"Иван &quot;И&quot;\", Login     = \"IVAN\", "
              "Password  = \"P&lt;1&gt;\", XML       = \"\" WHERE UID = \"7\"");
}

TEST_F(OperatorsTest, AddStoresEncodedFieldsAndEmptyXml) {
    auto result = AddOperator(*db_, {"Иван & Ко", "IVAN", "P\"W"});
    ASSERT_TRUE(result.added()) << result.warning;
    EXPECT_EQ(Cell("SELECT Name from Operator WHERE UID=\"" + std::to_string(result.uid) + "\""),
              "Иван &amp; Ко");
    EXPECT_EQ(Cell("SELECT Password from Operator WHERE Login=\"IVAN\""), "P&quot;W");
    EXPECT_EQ(Cell("SELECT XML from Operator WHERE Login=\"IVAN\""), "");
    auto record = ReadOperator(*db_, result.uid);
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->name, "Иван & Ко");
    EXPECT_EQ(record->password, "P\"W");

    auto rows = LoadOperators(*db_);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].text, "Администратор");
    EXPECT_EQ(rows[1].text, "Иван & Ко");
    EXPECT_EQ(rows[1].uid, result.uid);
}

TEST_F(OperatorsTest, DuplicateNameAndLoginAreRefusedExactly) {
    ASSERT_TRUE(AddOperator(*db_, {"Иван", "IVAN", "1"}).added());
    auto sameName = AddOperator(*db_, {"Иван", "OTHER", "1"});
    EXPECT_FALSE(sameName.added());
    EXPECT_EQ(sameName.warning,
              "Оператор с таким Именем уже существует,\r\nдобавление невозможно!");
    auto sameLogin = AddOperator(*db_, {"Новый", "IVAN", "1"});
    EXPECT_EQ(sameLogin.warning,
              "Оператор с таким Логином уже существует,\r\nдобавление невозможно!");
    // Names that differ only in letter case are different names.
    EXPECT_TRUE(AddOperator(*db_, {"иван", "IVAN2", "1"}).added());
    EXPECT_EQ(Count("Operator"), 3);
}

TEST_F(OperatorsTest, EmptyFieldRefusesBeforeAnyLookup) {
    auto result = AddOperator(*db_, {"Имя", "", "1"});
    EXPECT_EQ(result.warning, "Поле \"Логин\" не может быть пустым!");
    EXPECT_EQ(Count("Operator"), 1);
}

TEST_F(OperatorsTest, SaveRewritesWithoutUniquenessCheck) {
    auto ivan = AddOperator(*db_, {"Иван", "IVAN", "1"});
    auto petr = AddOperator(*db_, {"Пётр", "PETR", "2"});
    ASSERT_TRUE(ivan.added() && petr.added());
    // Taking another operator's login is not looked for when an existing one is saved.
    EXPECT_EQ(SaveOperator(*db_, petr.uid, {"Пётр", "IVAN", "3"}), "");
    EXPECT_EQ(ReadOperator(*db_, petr.uid)->login, "IVAN");
    EXPECT_EQ(ReadOperator(*db_, petr.uid)->password, "3");
    EXPECT_EQ(SaveOperator(*db_, petr.uid, {"Пётр", "IVAN", ""}),
              "Поле \"Пароль\" не может быть пустым!");
    EXPECT_EQ(ReadOperator(*db_, petr.uid)->password, "3");
}

TEST_F(OperatorsTest, BuiltInAdministratorKeepsLoginAndCannotBeDeleted) {
    const int64_t admin = LoadOperators(*db_).at(0).uid;
    EXPECT_TRUE(OperatorIsProtected("KREMU"));
    EXPECT_FALSE(OperatorIsProtected("kremu"));
    EXPECT_EQ(SaveOperator(*db_, admin, {"Администратор", "HACKER", "NEW"}), "");
    auto record = ReadOperator(*db_, admin);
    EXPECT_EQ(record->login, "KREMU");
    EXPECT_EQ(record->password, "NEW");
    EXPECT_FALSE(DeleteOperator(*db_, admin));
    EXPECT_FALSE(DeleteOperator(*db_, 0));
    EXPECT_EQ(Count("Operator"), 1);
}

TEST_F(OperatorsTest, DeleteRemovesOnlyThatRowAndLeavesWorks) {
    auto ivan = AddOperator(*db_, {"Иван", "IVAN", "1"});
    db_->ExecuteSql("INSERT into Work (OperatorUID) values(\"" + std::to_string(ivan.uid) + "\")");
    EXPECT_TRUE(DeleteOperator(*db_, ivan.uid));
    EXPECT_FALSE(ReadOperator(*db_, ivan.uid).has_value());
    EXPECT_EQ(Count("Operator"), 1);
    EXPECT_EQ(Count("Work"), 1);
}

}  // namespace
}  // namespace zb::admin
