// The six reference pages driven through their widgets.
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QRegularExpression>
#include <QTest>

#include "app/pictures.h"
#include "storage/stored_text.h"
#include "window_fixture.h"

namespace zb::apptest {
namespace {

using app::PageId;

class ReferencePagesTest : public WindowTest {
  protected:
    QWidget* Button(const QString& name) { return Find<QWidget>(name); }
    // The text fields of a register page in the register's order.
    QList<QLineEdit*> Fields(const QString& prefix) {
        return window_->findChildren<QLineEdit*>(QRegularExpression("^LabeledEdit" + prefix));
    }
    // From the root: add mode, the typed fields in order, then the save button.
    void AddRecord(const QString& prefix, const QStringList& texts) {
        Click(Button("Button" + prefix + "Cancel"));
        Click(Button("ToolButton" + prefix + "Add"));
        const auto fields = Fields(prefix);
        for (int i = 0; i < texts.size(); ++i) {
            fields[i]->setText(texts[i]);
        }
        Click(Button("Button" + prefix + "Save"));
    }
};

// Whether two icons show the same picture.
bool SamePicture(const QIcon& icon, app::Picture picture) {
    return icon.pixmap(16).toImage() == app::PicturePixmap(picture, 16).toImage();
}

TEST_F(ReferencePagesTest, CategoriesAddDuplicateRenameDelete) {
    OpenAdminPage("LabelAdminCategory");
    auto* tree = Find<QTreeWidget>("TreeViewAdminCategory");
    EXPECT_EQ(tree->topLevelItem(0)->text(0), "Категории");
    Click(Button("ToolButtonAdminCategoryAdd"));
    EXPECT_EQ(HeaderText("AdminCategory"), "Новая категория");
    AddRecord("AdminCategory", {"Промышленность"});
    AddRecord("AdminCategory", {"Быт \"<1>\""});
    EXPECT_EQ(HeaderText("AdminCategory"), "Категория (редактировать)");
    AddRecord("AdminCategory", {"Быт \"<1>\""});
    EXPECT_EQ(messages_->warnings(),
              std::vector<std::string>{
                  "Категория с таким именем уже существует,\r\nдобавление невозможно! "});
    EXPECT_EQ(Fields("AdminCategory")[0]->text(), "Быт \"<1>\"");
    AddRecord("AdminCategory", {"быт \"<1>\""});
    EXPECT_EQ(Count("CustomGroup"), 3);

    // Renaming onto an existing name is accepted; the tree is sorted again.
    ClickItem(tree, ChildByText(tree, "Промышленность"));
    Fields("AdminCategory")[0]->setText("Агро");
    Click(Button("ButtonAdminCategorySave"));
    EXPECT_EQ(ChildTexts(tree), (QStringList{"Агро", "Быт \"<1>\"", "быт \"<1>\""}));
    EXPECT_EQ(messages_->warnings().size(), 1u);

    ClickItem(tree, ChildByText(tree, "Агро"));
    Click(Button("ToolButtonAdminCategoryDelete"));
    EXPECT_EQ(Count("CustomGroup"), 2);
    EXPECT_EQ(ChildTexts(tree).size(), 2);
    EXPECT_TRUE(Showing("PanelAdminCategoryPrompt"));

    // Reopening the page reads the table again, sorted.
    Click(window_->Trail()->LabelAt(2));
    Click(Find<QWidget>("LabelAdminCategory"));
    EXPECT_EQ(ChildTexts(tree), (QStringList{"Быт \"<1>\"", "быт \"<1>\""}));
}

TEST_F(ReferencePagesTest, CustomersCarryTheirTypePicture) {
    OpenAdminPage("LabelAdminCustomer");
    auto* tree = Find<QTreeWidget>("TreeViewAdminCustomer");
    auto* type = Find<QComboBox>("ComboBoxAdminCustomerType");
    EXPECT_EQ(type->itemText(1), "Юр.лицо");
    Click(Button("ToolButtonAdminCustomerAdd"));
    EXPECT_EQ(type->currentIndex(), 0);
    type->setCurrentIndex(1);
    const auto fields = Fields("AdminCustomer");
    fields[0]->setText("ООО \"Ток\"");
    fields[1]->setText("ул. Ленина, 1");
    fields[2]->setText("7701");
    Click(Button("ButtonAdminCustomerSave"));
    AddRecord("AdminCustomer", {});  // an empty name is accepted
    EXPECT_TRUE(messages_->warnings().empty());
    EXPECT_EQ(Count("Customer", "TypeCode=1 AND INN='7701'"), 1);
    EXPECT_EQ(Count("Customer", "Name='' AND TypeCode=0"), 1);

    auto* company = ChildByText(tree, "ООО \"Ток\"");
    ASSERT_NE(company, nullptr);
    EXPECT_TRUE(SamePicture(company->icon(0), app::Picture::Company));
    EXPECT_TRUE(SamePicture(ChildByText(tree, "")->icon(0), app::Picture::Individual));
    ClickItem(tree, company);
    EXPECT_EQ(type->currentIndex(), 1);
    EXPECT_EQ(fields[1]->text(), "ул. Ленина, 1");

    // Changing the type in edit mode changes row and node picture.
    type->setCurrentIndex(0);
    Click(Button("ButtonAdminCustomerSave"));
    EXPECT_EQ(Count("Customer", "TypeCode=0"), 2);
    EXPECT_TRUE(SamePicture(ChildByText(tree, "ООО \"Ток\"")->icon(0), app::Picture::Individual));
}

TEST_F(ReferencePagesTest, ContractsAreAddedAndDeletedPerCustomer) {
    OpenAdminPage("LabelAdminCustomer");
    AddRecord("AdminCustomer", {"Иванов"});
    AddRecord("AdminCustomer", {"Петров"});
    ShowPage(PageId::Contracts);
    auto* tree = Find<QTreeWidget>("TreeViewAdminContractCustomer");
    auto* list = Find<QListWidget>("ListBoxAdminContract");
    auto* title = Find<QLabel>("LabelAdminContractList");
    auto* add = Button("ToolButtonAdminContractAdd");
    auto* remove = Button("ToolButtonAdminContractDelete");
    auto* save = Button("ButtonAdminContractSave");
    auto* number = Edit("LabeledEditAdminContractName");
    EXPECT_EQ(ChildTexts(tree), (QStringList{"Иванов", "Петров"}));
    EXPECT_TRUE(Showing("PanelAdminContractPrompt"));
    EXPECT_FALSE(add->isEnabled());

    ClickItem(tree, ChildByText(tree, "Иванов"));
    EXPECT_EQ(title->text(), "Договоры с клиентом: Иванов");
    EXPECT_TRUE(add->isEnabled());
    EXPECT_FALSE(save->isEnabled());
    Click(add);
    EXPECT_EQ(HeaderText("AdminContract"), "Новый договор");
    number->setText("Д-1/2024");
    Click(save);
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), "Д-1/2024");
    EXPECT_TRUE(list->item(0)->isSelected());
    EXPECT_FALSE(number->isEnabled());
    EXPECT_TRUE(remove->isEnabled());
    EXPECT_EQ(Count("Contract", "Name='Д-1/2024'"), 1);

    // The other customer has no contracts.
    ClickItem(tree, ChildByText(tree, "Петров"));
    EXPECT_EQ(list->count(), 0);
    ClickItem(tree, ChildByText(tree, "Иванов"));
    ASSERT_EQ(list->count(), 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(0)).center());
    EXPECT_EQ(number->text(), "Д-1/2024");
    Click(remove);
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(Count("Contract"), 0);

    ClickItem(tree, tree->topLevelItem(0));
    EXPECT_TRUE(Showing("PanelAdminContractPrompt"));
    EXPECT_EQ(title->text(), "Договоры");
}

TEST_F(ReferencePagesTest, AccountsBindCustomerAndContract) {
    PrepareDatabase({"INSERT into Customer (Name,TypeCode) values('Иванов','0')",
                     "INSERT into Customer (Name,TypeCode) values('Петров','0')",
                     "INSERT into Contract (CustomerUID,Name) values('2','Д-7')"});
    OpenAdminPage("LabelAdminAccount");
    auto* tree = Find<QTreeWidget>("TreeViewAdminAccount");
    auto* customers = Find<QComboBox>("ComboBoxAdminAccountCustomer");
    auto* contracts = Find<QComboBox>("ComboBoxAdminAccountContract");
    auto* number = Edit("LabeledEditAdminAccountName");
    auto* save = Button("ButtonAdminAccountSave");

    // No binding chosen: 0 and 0; shown with both lists empty and nothing to save.
    Click(Button("ToolButtonAdminAccountAdd"));
    EXPECT_EQ(customers->count(), 2);
    EXPECT_EQ(contracts->count(), 1);
    EXPECT_EQ(customers->currentIndex(), -1);
    number->setText("ЛС-1");
    Click(save);
    EXPECT_EQ(Count("Account", "CustomerUID=0 AND ContractUID=0"), 1);
    EXPECT_EQ(tree->currentItem()->text(0), "ЛС-1");
    EXPECT_EQ(customers->count(), 0);
    EXPECT_EQ(contracts->count(), 0);
    EXPECT_FALSE(save->isEnabled());

    // Choosing the contract selects its customer.
    Click(Button("ButtonAdminAccountCancel"));
    Click(Button("ToolButtonAdminAccountAdd"));
    number->setText("ЛС-2");
    contracts->setCurrentIndex(0);
    emit contracts->activated(0);
    EXPECT_EQ(customers->currentText(), "Петров");
    Click(save);
    EXPECT_EQ(Count("Account", "Name='ЛС-2' AND CustomerUID=2 AND ContractUID=1"), 1);
    EXPECT_EQ(customers->currentText(), "Петров");
    EXPECT_EQ(contracts->currentText(), "Д-7");

    // Choosing a customer lists only its contracts.
    Click(Button("ButtonAdminAccountCancel"));
    Click(Button("ToolButtonAdminAccountAdd"));
    customers->setCurrentIndex(0);
    emit customers->activated(0);
    EXPECT_EQ(contracts->count(), 0);

    ClickItem(tree, ChildByText(tree, "ЛС-1"));
    Click(Button("ToolButtonAdminAccountDelete"));
    EXPECT_EQ(Count("Account"), 1);
    EXPECT_EQ(ChildTexts(tree), QStringList{"ЛС-2"});
}

TEST_F(ReferencePagesTest, ProvidersAndBalanceGroupsKeepTheirFields) {
    OpenAdminPage("LabelAdminProvider");
    ASSERT_EQ(Fields("AdminProvider").size(), 2);
    AddRecord("AdminProvider", {"Сбыт", "123"});
    AddRecord("AdminProvider", {"Сбыт"});
    EXPECT_EQ(messages_->warnings(),
              std::vector<std::string>{
                  "Поставщик с таким именем уже существует,\r\nдобавление невозможно! "});
    EXPECT_EQ(Count("EProvider", "INN='123'"), 1);

    ShowPage(PageId::Balance);
    AddRecord("AdminBalance", {"БГ-1"});
    EXPECT_EQ(Count("Balance", "Name='БГ-1' AND XML=''"), 1);
}

}  // namespace
}  // namespace zb::apptest
