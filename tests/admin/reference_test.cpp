#include "admin/reference.h"

#include "admin_db_fixture.h"

namespace zb::admin {
namespace {

class ReferenceTest : public testing::AdminDbTest {};

// Adding, the duplicate warning and the customer's type are driven through the pages; these are
// the rules the pages never reach.
TEST_F(ReferenceTest, RenameOntoAnotherNameEmptyNamesAndDeletedCustomers) {
    const auto& categories = CategoriesRegister();
    ASSERT_TRUE(AddFamilyRecord(*db_, categories, {0, {"Быт \"<1>\""}}).Added());
    auto other = AddFamilyRecord(*db_, categories, {0, {"Промышленность"}});
    UpdateFamilyRecord(*db_, categories, other.uid, {0, {"Быт \"<1>\""}});
    // Stored in the stored text form: the statement's quotes cannot be broken out of.
    EXPECT_EQ(Count("CustomGroup", "Name='Быт &quot;&lt;1&gt;&quot;'"), 2);

    const auto& customers = CustomersRegister();
    auto added = AddFamilyRecord(*db_, customers, {7, {"", "Адрес", "ИНН1"}});
    ASSERT_TRUE(added.Added());
    EXPECT_FALSE(AddFamilyRecord(*db_, customers, {0, {"", "", ""}}).Added());
    auto record = ReadFamilyRecord(*db_, customers, added.uid);
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->texts, (std::vector<std::string>{"", "Адрес", "ИНН1"}));
    // Any type but 0 is a company.
    EXPECT_EQ(record->typeCode, 7);
    EXPECT_EQ(CustomerPictureOf(7), 1);
    EXPECT_EQ(CustomerTypeIndexOf(-3), 1);
    EXPECT_FALSE(ReadFamilyRecord(*db_, customers, added.uid + 100).has_value());

    // Deleting a customer leaves its contracts and accounts.
    auto customer = AddFamilyRecord(*db_, customers, {0, {"Иванов", "", ""}});
    const int64_t contract = AddContract(*db_, customer.uid, "Д-1");
    const int64_t account = AddAccount(*db_, customer.uid, contract, "ЛС <7>");
    EXPECT_EQ(CustomerOfContract(*db_, 999), 0);
    DeleteFamilyRecord(*db_, customers, customer.uid);
    EXPECT_EQ(Count("Customer"), 1);
    EXPECT_EQ(LoadAllContracts(*db_).size(), 1u);
    auto view = ReadAccount(*db_, account);
    ASSERT_TRUE(view.has_value());
    EXPECT_EQ((std::vector<std::string>{view->number, view->customerName, view->contractName}),
              (std::vector<std::string>{"ЛС <7>", "<NULL>", "Д-1"}));
    EXPECT_EQ(view->customerUid, customer.uid);
    EXPECT_EQ(view->contractUid, contract);
}

TEST(ValueLines, SplitNameValueLinesAndNodeTexts) {
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(SplitValueLines("A=1\r\nB=x=y\r\n\r\nLone\nC="),
              (Pairs{{"A", "1"}, {"B", "x=y"}, {"Lone", ""}, {"C", ""}}));
    EXPECT_TRUE(SplitValueLines("").empty());
    EXPECT_EQ(NodeText("00A1", "Подстанция"), "00A1 [Подстанция]");
}

}  // namespace
}  // namespace zb::admin
