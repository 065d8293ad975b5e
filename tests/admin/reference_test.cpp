#include "admin/reference.h"

#include "admin_db_fixture.h"

namespace zb::admin {
namespace {

class ReferenceTest : public testing::AdminDbTest {};

TEST(FamilySql, CustomerStatementsAreExact) {
    const auto& reg = CustomersRegister();
    FamilyRecord record{1, {"ООО \"Ток\"", "ул. <Ленина>", "7701"}};
    EXPECT_EQ(FamilyInsertSql(reg, record),
              "INSERT into Customer (TypeCode,Name,StreetAddress,INN,XML) values(\"1\","
              "\"ООО &quot;Ток&quot;\",\"ул. &lt;Ленина&gt;\",\"7701\",\"\")");
    EXPECT_EQ(FamilyUpdateSql(reg, 12, record),
              "UPDATE Customer set TypeCode      = \"1\", Name          = \"ООО &quot;Ток&quot;\","
              " StreetAddress = \"ул. &lt;Ленина&gt;\", INN           = \"7701\","
              " XML           = \"\" WHERE UID     = \"12\"");
}

TEST(FamilySql, OtherMembersStatementsAreExact) {
    FamilyRecord name{0, {"A&B"}};
    EXPECT_EQ(FamilyInsertSql(CategoriesRegister(), name),
              "INSERT into CustomGroup (Name,XML) values(\"A&amp;B\",\"\")");
    EXPECT_EQ(FamilyUpdateSql(CategoriesRegister(), 3, name),
              "UPDATE CustomGroup set Name      = \"A&amp;B\", XML       = \"\" WHERE UID = \"3\"");
    EXPECT_EQ(FamilyUpdateSql(BalanceGroupsRegister(), 4, name),
              "UPDATE Balance set Name      = \"A&amp;B\", XML       = \"\" WHERE UID = \"4\"");
    FamilyRecord provider{0, {"Сбыт", "123"}};
    EXPECT_EQ(FamilyInsertSql(ProvidersRegister(), provider),
              "INSERT into EProvider (Name,INN,XML) values(\"Сбыт\",\"123\",\"\")");
    EXPECT_EQ(FamilyUpdateSql(ProvidersRegister(), 5, provider),
              "UPDATE EProvider set Name      = \"Сбыт\", INN       = \"123\", XML       = \"\""
              " WHERE UID = \"5\"");
}

TEST(FamilyTexts, PromptsAndWarningsEndAsTheSystemWritesThem) {
    EXPECT_EQ(std::string(CustomersRegister().duplicateWarning),
              "Клиент с таким именем уже существует,\r\nдобавление невозможно! ");
    EXPECT_EQ(std::string(ProvidersRegister().prompt),
              "Выберите\r\nили добавьте\r\nгарантирующего\r\nпоставщика");
    EXPECT_EQ(ContractListTitle("Иванов"), "Договоры с клиентом: Иванов");
    EXPECT_EQ(CustomerPictureOf(0), 0);
    EXPECT_EQ(CustomerPictureOf(1), 1);
    EXPECT_EQ(CustomerPictureOf(7), 1);
    EXPECT_EQ(CustomerTypeIndexOf(-3), 1);
}

TEST_F(ReferenceTest, CategoryDuplicatesCompareStoredFormsExactly) {
    const auto& reg = CategoriesRegister();
    auto first = AddFamilyRecord(*db_, reg, {0, {"Быт \"<1>\""}});
    ASSERT_TRUE(first.added());
    auto again = AddFamilyRecord(*db_, reg, {0, {"Быт \"<1>\""}});
    EXPECT_FALSE(again.added());
    EXPECT_EQ(again.warning, "Категория с таким именем уже существует,\r\nдобавление невозможно! ");
    EXPECT_TRUE(AddFamilyRecord(*db_, reg, {0, {"быт \"<1>\""}}).added());
    EXPECT_EQ(Count("CustomGroup"), 2);

    // Renaming onto another category's name is accepted.
    auto other = AddFamilyRecord(*db_, reg, {0, {"Промышленность"}});
    UpdateFamilyRecord(*db_, reg, other.uid, {0, {"Быт \"<1>\""}});
    EXPECT_EQ(ReadFamilyRecord(*db_, reg, other.uid)->texts.at(0), "Быт \"<1>\"");
    EXPECT_EQ(Count("CustomGroup", "Name=\"Быт &quot;&lt;1&gt;&quot;\""), 2);
}

TEST_F(ReferenceTest, CustomerRoundTripWithTypeAndEmptyName) {
    const auto& reg = CustomersRegister();
    auto added = AddFamilyRecord(*db_, reg, {1, {"", "Адрес", "ИНН1"}});
    ASSERT_TRUE(added.added());
    EXPECT_EQ(Cell("SELECT Name from Customer"), "");
    auto record = ReadFamilyRecord(*db_, reg, added.uid);
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->typeCode, 1);
    EXPECT_EQ(record->texts, (std::vector<std::string>{"", "Адрес", "ИНН1"}));
    // A second empty name is a duplicate.
    EXPECT_FALSE(AddFamilyRecord(*db_, reg, {0, {"", "", ""}}).added());

    auto rows = LoadFamily(*db_, reg);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].typeCode, 1);
    EXPECT_FALSE(ReadFamilyRecord(*db_, reg, added.uid + 100).has_value());
}

TEST_F(ReferenceTest, DeletingACustomerLeavesContractsAndAccounts) {
    const auto& reg = CustomersRegister();
    auto customer = AddFamilyRecord(*db_, reg, {0, {"Иванов", "", ""}});
    const int64_t contract = AddContract(*db_, customer.uid, "Д-1");
    const int64_t account = AddAccount(*db_, customer.uid, contract, "ЛС-1");
    DeleteFamilyRecord(*db_, reg, customer.uid);
    EXPECT_EQ(Count("Customer"), 0);
    EXPECT_EQ(Count("Contract"), 1);
    auto view = ReadAccount(*db_, account);
    ASSERT_TRUE(view.has_value());
    EXPECT_EQ(view->customerUid, customer.uid);
    EXPECT_EQ(view->customerName, "<NULL>");
    EXPECT_EQ(view->contractName, "Д-1");
}

TEST_F(ReferenceTest, ContractsAreListedByCustomer) {
    const auto& reg = CustomersRegister();
    auto a = AddFamilyRecord(*db_, reg, {0, {"А", "", ""}});
    auto b = AddFamilyRecord(*db_, reg, {1, {"Б", "", ""}});
    const int64_t c1 = AddContract(*db_, a.uid, "№1 \"осн\"");
    AddContract(*db_, b.uid, "№2");
    auto listed = LoadContractsOf(*db_, a.uid);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].uid, c1);
    EXPECT_EQ(listed[0].text, "№1 \"осн\"");
    EXPECT_EQ(CustomerOfContract(*db_, c1), a.uid);
    EXPECT_EQ(CustomerOfContract(*db_, 999), 0);
    DeleteContract(*db_, c1);
    EXPECT_TRUE(LoadContractsOf(*db_, a.uid).empty());
    EXPECT_EQ(LoadAllContracts(*db_).size(), 1u);
}

TEST_F(ReferenceTest, AccountWithoutBindingsStoresZeros) {
    const int64_t uid = AddAccount(*db_, 0, 0, "ЛС <7>");
    EXPECT_EQ(Cell("SELECT CustomerUID from Account"), "0");
    EXPECT_EQ(Cell("SELECT ContractUID from Account"), "0");
    auto view = ReadAccount(*db_, uid);
    ASSERT_TRUE(view.has_value());
    EXPECT_EQ(view->number, "ЛС <7>");
    EXPECT_EQ(view->customerUid, 0);
    EXPECT_EQ(view->contractUid, 0);
    EXPECT_EQ(LoadAccounts(*db_).at(0).text, "ЛС <7>");
    DeleteAccount(*db_, uid);
    EXPECT_EQ(Count("Account"), 0);
}

TEST(ValueLines, SplitNameValueLines) {
    auto pairs = SplitValueLines("A=1\r\nB=x=y\r\n\r\nLone\nC=");
    ASSERT_EQ(pairs.size(), 4u);
    EXPECT_EQ(pairs[0], (std::pair<std::string, std::string>{"A", "1"}));
    EXPECT_EQ(pairs[1], (std::pair<std::string, std::string>{"B", "x=y"}));
    EXPECT_EQ(pairs[2], (std::pair<std::string, std::string>{"Lone", ""}));
    EXPECT_EQ(pairs[3], (std::pair<std::string, std::string>{"C", ""}));
    EXPECT_TRUE(SplitValueLines("").empty());
}

TEST(NodeTexts, CommentInBracketsOnlyWhenPresent) {
    EXPECT_EQ(NodeText("00A1", ""), "00A1");
    EXPECT_EQ(NodeText("00A1", "Подстанция"), "00A1 [Подстанция]");
}

}  // namespace
}  // namespace zb::admin
