#include "admin/operators.h"

#include "admin/reference.h"
#include "admin_db_fixture.h"

namespace zb::admin {
namespace {

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

}  // namespace
}  // namespace zb::admin
