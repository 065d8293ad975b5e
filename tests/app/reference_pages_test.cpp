// The six reference pages driven through their widgets.
#include <QComboBox>
#include <QListWidget>
#include <QTest>

#include "app/accounts_page.h"
#include "app/contracts_page.h"
#include "app/family_page.h"
#include "app/pictures.h"
#include "storage/stored_text.h"
#include "window_fixture.h"

namespace zb::apptest {
namespace {

using app::PageId;

class ReferencePagesTest : public WindowTest {
  protected:
    template <class P = app::FamilyPage>
    P* OpenPage(const char* link, PageId id) {
        OpenAdminPage(link);
        return static_cast<P*>(window_->page(id));
    }

    // From the root: add mode, the typed fields in order, then the save button.
    void AddRecord(app::FamilyPage* page, const QStringList& texts) {
        Click(page->frame()->cancelButton);
        Click(page->frame()->addButton);
        for (int i = 0; i < texts.size(); ++i) {
            page->fields()[i]->setText(texts[i]);
        }
        Click(page->frame()->saveButton);
    }
};

// Whether two icons show the same picture.
bool SamePicture(const QIcon& icon, app::Picture picture) {
    return icon.pixmap(16).toImage() == app::PicturePixmap(picture, 16).toImage();
}

TEST_F(ReferencePagesTest, CategoriesAddDuplicateRenameDelete) {
    auto* page = OpenPage("LabelAdminCategory", PageId::Categories);
    auto* tree = page->frame()->tree;
    EXPECT_EQ(tree->topLevelItem(0)->text(0), "Категории");
    Click(page->frame()->addButton);
    EXPECT_EQ(page->frame()->header->text(), "Новая категория");
    AddRecord(page, {"Промышленность"});
    AddRecord(page, {"Быт \"<1>\""});
    EXPECT_EQ(page->frame()->header->text(), "Категория (редактировать)");
    AddRecord(page, {"Быт \"<1>\""});
    EXPECT_EQ(messages_->warnings(),
              std::vector<std::string>{
                  "Категория с таким именем уже существует,\r\nдобавление невозможно! "});
    EXPECT_EQ(page->fields()[0]->text(), "Быт \"<1>\"");
    AddRecord(page, {"быт \"<1>\""});
    EXPECT_EQ(Count("CustomGroup"), 3);

    // Renaming onto an existing name is accepted; the tree is sorted again.
    ClickItem(tree, ChildByText(tree, "Промышленность"));
    page->fields()[0]->setText("Агро");
    Click(page->frame()->saveButton);
    EXPECT_EQ(ChildTexts(tree), (QStringList{"Агро", "Быт \"<1>\"", "быт \"<1>\""}));
    EXPECT_EQ(messages_->warnings().size(), 1u);

    ClickItem(tree, ChildByText(tree, "Агро"));
    Click(page->frame()->deleteButton);
    EXPECT_EQ(Count("CustomGroup"), 2);
    EXPECT_EQ(ChildTexts(tree).size(), 2);
    EXPECT_TRUE(page->frame()->PromptShown());

    // Reopening the page reads the table again, sorted.
    Click(window_->trail()->LabelAt(2));
    Click(Find<QWidget>("LabelAdminCategory"));
    EXPECT_EQ(ChildTexts(tree), (QStringList{"Быт \"<1>\"", "быт \"<1>\""}));
}

TEST_F(ReferencePagesTest, CustomersCarryTheirTypePicture) {
    auto* page = OpenPage("LabelAdminCustomer", PageId::Customers);
    auto* tree = page->frame()->tree;
    ASSERT_NE(page->typeList(), nullptr);
    EXPECT_EQ(page->typeList()->itemText(0), "Физ.лицо");
    EXPECT_EQ(page->typeList()->itemText(1), "Юр.лицо");
    Click(page->frame()->addButton);
    EXPECT_EQ(page->typeList()->currentIndex(), 0);
    page->typeList()->setCurrentIndex(1);
    page->fields()[0]->setText("ООО \"Ток\"");
    page->fields()[1]->setText("ул. Ленина, 1");
    page->fields()[2]->setText("7701");
    Click(page->frame()->saveButton);
    AddRecord(page, {});  // an empty name is accepted
    EXPECT_TRUE(messages_->warnings().empty());
    EXPECT_EQ(Count("Customer", "TypeCode=1 AND INN='7701'"), 1);
    EXPECT_EQ(Count("Customer", "Name='' AND TypeCode=0"), 1);

    auto* company = ChildByText(tree, "ООО \"Ток\"");
    ASSERT_NE(company, nullptr);
    EXPECT_TRUE(SamePicture(company->icon(0), app::Picture::Company));
    EXPECT_TRUE(SamePicture(ChildByText(tree, "")->icon(0), app::Picture::Individual));
    ClickItem(tree, company);
    EXPECT_EQ(page->typeList()->currentIndex(), 1);
    EXPECT_EQ(page->fields()[1]->text(), "ул. Ленина, 1");
    EXPECT_EQ(page->frame()->header->text(), "Клиент (редактировать)");

    // Changing the type in edit mode changes row and node picture.
    page->typeList()->setCurrentIndex(0);
    Click(page->frame()->saveButton);
    EXPECT_EQ(Count("Customer", "TypeCode=0"), 2);
    EXPECT_TRUE(SamePicture(ChildByText(tree, "ООО \"Ток\"")->icon(0), app::Picture::Individual));
}

TEST_F(ReferencePagesTest, ContractsAreAddedAndDeletedPerCustomer) {
    auto* customers = OpenPage("LabelAdminCustomer", PageId::Customers);
    AddRecord(customers, {"Иванов"});
    AddRecord(customers, {"Петров"});
    ShowPage(PageId::Contracts);
    auto* page = static_cast<app::ContractsPage*>(window_->page(PageId::Contracts));
    auto* tree = page->customerTree();
    EXPECT_EQ(ChildTexts(tree), (QStringList{"Иванов", "Петров"}));
    EXPECT_TRUE(page->PromptShown());
    EXPECT_FALSE(page->addButton()->isEnabled());

    ClickItem(tree, ChildByText(tree, "Иванов"));
    EXPECT_EQ(page->listTitle()->text(), "Договоры с клиентом: Иванов");
    EXPECT_TRUE(page->addButton()->isEnabled());
    EXPECT_FALSE(page->saveButton()->isEnabled());
    Click(page->addButton());
    EXPECT_EQ(page->header()->text(), "Новый договор");
    page->numberEdit()->setText("Д-1/2024");
    Click(page->saveButton());
    ASSERT_EQ(page->contractList()->count(), 1);
    EXPECT_EQ(page->contractList()->item(0)->text(), "Д-1/2024");
    EXPECT_TRUE(page->contractList()->item(0)->isSelected());
    EXPECT_FALSE(page->numberEdit()->isEnabled());
    EXPECT_TRUE(page->deleteButton()->isEnabled());
    EXPECT_EQ(Count("Contract", "Name='Д-1/2024'"), 1);

    // The other customer has no contracts.
    ClickItem(tree, ChildByText(tree, "Петров"));
    EXPECT_EQ(page->contractList()->count(), 0);
    ClickItem(tree, ChildByText(tree, "Иванов"));
    ASSERT_EQ(page->contractList()->count(), 1);
    QTest::mouseClick(page->contractList()->viewport(), Qt::LeftButton, {},
                      page->contractList()->visualItemRect(page->contractList()->item(0)).center());
    EXPECT_EQ(page->numberEdit()->text(), "Д-1/2024");
    Click(page->deleteButton());
    EXPECT_EQ(page->contractList()->count(), 0);
    EXPECT_EQ(Count("Contract"), 0);

    ClickItem(tree, tree->topLevelItem(0));
    EXPECT_TRUE(page->PromptShown());
    EXPECT_EQ(page->listTitle()->text(), "Договоры");
}

TEST_F(ReferencePagesTest, AccountsBindCustomerAndContract) {
    PrepareDatabase({"INSERT into Customer (Name,TypeCode) values('Иванов','0')",
                     "INSERT into Customer (Name,TypeCode) values('Петров','0')",
                     "INSERT into Contract (CustomerUID,Name) values('2','Д-7')"});
    auto* page = OpenPage<app::AccountsPage>("LabelAdminAccount", PageId::Accounts);
    auto* tree = page->frame()->tree;

    // No binding chosen: 0 and 0; shown with both lists empty.
    Click(page->frame()->addButton);
    EXPECT_EQ(page->customerList()->count(), 2);
    EXPECT_EQ(page->contractList()->count(), 1);
    EXPECT_EQ(page->customerList()->currentIndex(), -1);
    page->numberEdit()->setText("ЛС-1");
    Click(page->frame()->saveButton);
    EXPECT_EQ(Count("Account", "CustomerUID=0 AND ContractUID=0"), 1);
    EXPECT_EQ(tree->currentItem()->text(0), "ЛС-1");
    EXPECT_EQ(page->customerList()->count(), 0);
    EXPECT_EQ(page->contractList()->count(), 0);
    EXPECT_FALSE(page->frame()->saveButton->isEnabled());

    // Choosing the contract selects its customer.
    Click(page->frame()->cancelButton);
    Click(page->frame()->addButton);
    page->numberEdit()->setText("ЛС-2");
    page->contractList()->setCurrentIndex(0);
    emit page->contractList()->activated(0);
    EXPECT_EQ(page->customerList()->currentText(), "Петров");
    Click(page->frame()->saveButton);
    EXPECT_EQ(Count("Account", "Name='ЛС-2' AND CustomerUID=2 AND ContractUID=1"), 1);
    EXPECT_EQ(page->customerList()->currentText(), "Петров");
    EXPECT_EQ(page->contractList()->currentText(), "Д-7");

    // Choosing a customer lists only its contracts.
    Click(page->frame()->cancelButton);
    Click(page->frame()->addButton);
    page->customerList()->setCurrentIndex(0);
    emit page->customerList()->activated(0);
    EXPECT_EQ(page->contractList()->count(), 0);

    ClickItem(tree, ChildByText(tree, "ЛС-1"));
    Click(page->frame()->deleteButton);
    EXPECT_EQ(Count("Account"), 1);
    EXPECT_EQ(ChildTexts(tree), QStringList{"ЛС-2"});
}

TEST_F(ReferencePagesTest, ProvidersAndBalanceGroupsKeepTheirFields) {
    auto* providers = OpenPage("LabelAdminProvider", PageId::Providers);
    ASSERT_EQ(providers->fields().size(), 2u);
    AddRecord(providers, {"Сбыт", "123"});
    AddRecord(providers, {"Сбыт"});
    EXPECT_EQ(messages_->warnings(),
              std::vector<std::string>{
                  "Поставщик с таким именем уже существует,\r\nдобавление невозможно! "});
    EXPECT_EQ(Count("EProvider", "INN='123'"), 1);

    ShowPage(PageId::Balance);
    auto* balance = static_cast<app::FamilyPage*>(window_->page(PageId::Balance));
    EXPECT_EQ(balance->frame()->prompt->text(), "Выберите\nили добавьте\nбалансовую группу");
    AddRecord(balance, {"БГ-1"});
    EXPECT_EQ(Count("Balance", "Name='БГ-1' AND XML=''"), 1);
}

}  // namespace
}  // namespace zb::apptest
