#include "admin/operators.h"

#include "admin/reference.h"
#include "admin_db_fixture.h"

namespace zb::admin {
namespace {

class OperatorsTest : public testing::AdminDbTest {};

// The duplicate warnings and the empty-field refusal of an add are driven through the page.
const std::string kNameEmpty = "Поле \"Имя\" не может быть пустым!";
const std::string kLoginEmpty = "Поле \"Логин\" не может быть пустым!";
const std::string kPasswordEmpty = "Поле \"Пароль\" не может быть пустым!";

TEST(OperatorChecks, FirstEmptyFieldWins) {
    EXPECT_EQ(CheckOperatorFields({"", "", ""}), kNameEmpty);
    EXPECT_EQ(CheckOperatorFields({"", "L", "P"}), kNameEmpty);
    EXPECT_EQ(CheckOperatorFields({"N", "", ""}), kLoginEmpty);
    EXPECT_EQ(CheckOperatorFields({"N", "L", ""}), kPasswordEmpty);
    EXPECT_EQ(CheckOperatorFields({"N", "L", "P"}), "");
}

TEST_F(OperatorsTest, AddStoresEncodedFieldsAndEmptyXml) {
    auto result = AddOperator(*db_, {"Иван & Ко", "IVAN", "P\"W"});
    ASSERT_TRUE(result.Added()) << result.warning;
    const std::string where = " from Operator WHERE UID=" + std::to_string(result.uid);
    EXPECT_EQ(Cell("SELECT Name" + where), "Иван &amp; Ко");
    EXPECT_EQ(Cell("SELECT Password" + where), "P&quot;W");
    EXPECT_EQ(Cell("SELECT XML" + where), "");
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

TEST_F(OperatorsTest, SaveRewritesWithoutUniquenessCheck) {
    ASSERT_TRUE(AddOperator(*db_, {"Иван", "IVAN", "1"}).Added());
    auto petr = AddOperator(*db_, {"Пётр", "PETR", "2"});
    // Taking another operator's login is not looked for when an existing one is saved.
    EXPECT_EQ(SaveOperator(*db_, petr.uid, {"Пётр", "IVAN", "3"}), "");
    EXPECT_EQ(ReadOperator(*db_, petr.uid)->login, "IVAN");
    EXPECT_EQ(SaveOperator(*db_, petr.uid, {"Пётр", "IVAN", ""}), kPasswordEmpty);
    EXPECT_EQ(ReadOperator(*db_, petr.uid)->password, "3");
}

TEST_F(OperatorsTest, BuiltInAdministratorKeepsLoginAndOthersAreDeletedAlone) {
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

    // Deleting another operator leaves the works it started.
    auto ivan = AddOperator(*db_, {"Иван", "IVAN", "1"});
    db_->ExecuteSql("INSERT into Work (OperatorUID) values(" + std::to_string(ivan.uid) + ")");
    EXPECT_TRUE(DeleteOperator(*db_, ivan.uid));
    EXPECT_FALSE(ReadOperator(*db_, ivan.uid).has_value());
    EXPECT_EQ(Count("Operator"), 1);
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

}  // namespace
}  // namespace zb::admin
