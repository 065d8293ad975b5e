// The register pages driven through their widgets: the skeleton they share, tested once on the
// categories page, then each page's own rules.
#include <QComboBox>
#include <QLabel>
#include <QListWidget>

#include "app/pictures.h"
#include "window_fixture.h"

namespace zb::apptest {
namespace {

using app::PageId;

class RegisterPagesTest : public WindowTest {
  protected:
    QString SaveText(const QString& prefix) {
        return Find<QPushButton>("Button" + prefix + "Save")->text();
    }
};

TEST_F(RegisterPagesTest, SkeletonAddsEditsSortsCancelsAndDeletes) {
    OpenPage(PageId::Categories);
    auto* tree = Find<QTreeWidget>("TreeViewAdminCategory");
    EXPECT_TRUE(Showing("PanelAdminCategoryPrompt"));
    EXPECT_FALSE(Enabled("ToolButtonAdminCategoryDelete"));
    Press("ToolButtonAdminCategoryAdd");
    EXPECT_EQ(HeaderText("AdminCategory"), "Новая категория");
    EXPECT_EQ(SaveText("AdminCategory"), "Добавить");
    EXPECT_FALSE(Enabled("ToolButtonAdminCategoryAdd"));
    // Cancel leaves add mode for the root.
    Press("ButtonAdminCategoryCancel");
    EXPECT_TRUE(Showing("PanelAdminCategoryPrompt"));
    EXPECT_TRUE(Enabled("ToolButtonAdminCategoryAdd"));

    // The row added is chosen for editing.
    AddRecord("AdminCategory", {"Промышленность"});
    AddRecord("AdminCategory", {"Быт \"<1>\""});
    EXPECT_EQ(tree->currentItem()->text(0), "Быт \"<1>\"");
    EXPECT_EQ(HeaderText("AdminCategory"), "Категория (редактировать)");
    EXPECT_EQ(SaveText("AdminCategory"), "Сохранить");
    EXPECT_TRUE(Enabled("ToolButtonAdminCategoryDelete"));
    EXPECT_FALSE(Enabled("ToolButtonAdminCategoryAdd"));

    // Saving renames the node and sorts the tree again; the name may be taken.
    ClickItem(tree, ChildByText(tree, "Промышленность"));
    EXPECT_EQ(Fields("AdminCategory")[0]->text(), "Промышленность");
    Fields("AdminCategory")[0]->setText("Быт \"<1>\"");
    Press("ButtonAdminCategorySave");
    Fields("AdminCategory")[0]->setText("Агро");
    Press("ButtonAdminCategorySave");
    EXPECT_EQ(ChildTexts(tree), (QStringList{"Агро", "Быт \"<1>\""}));
    EXPECT_EQ(Count("CustomGroup", "Name='Агро'"), 1);
    EXPECT_TRUE(messages_->warnings().empty());

    // Deleting asks nothing and goes back to the prompt.
    Press("ToolButtonAdminCategoryDelete");
    EXPECT_TRUE(messages_->questions().empty());
    EXPECT_EQ(ChildTexts(tree), QStringList{"Быт \"<1>\""});
    EXPECT_EQ(Count("CustomGroup"), 1);
    EXPECT_TRUE(Showing("PanelAdminCategoryPrompt"));
    EXPECT_FALSE(Enabled("ToolButtonAdminCategoryDelete"));

    // Opening the page again reads the table, sorted.
    storage::Database().ExecuteSql("INSERT into CustomGroup (Name) values('Авто')");
    ShowPage(PageId::Categories);
    EXPECT_EQ(ChildTexts(tree), (QStringList{"Авто", "Быт \"<1>\""}));
}

// Each page of the family stores its fields in their columns and refuses a second row of a name
// with its own warning, keeping what was typed; another letter case is another name.
TEST_F(RegisterPagesTest, FamilyPagesStoreTheirFieldsAndRefuseADuplicateName) {
    struct Family {
        PageId page;
        QString prefix;
        std::string table;
        QStringList texts;
        std::string stored;  // the row the texts make
        std::string warning;
    };
    const Family families[] = {
        {PageId::Customers,
         "AdminCustomer",
         "Customer",
         {"Иванов", "ул. Ленина, 1", "7701"},
         "StreetAddress='ул. Ленина, 1' AND INN='7701' AND TypeCode=0",
         "Клиент"},
        {PageId::Categories, "AdminCategory", "CustomGroup", {"Быт"}, "Name='Быт'", "Категория"},
        {PageId::Balance,
         "AdminBalance",
         "Balance",
         {"БГ-1"},
         "Name='БГ-1' AND XML=''",
         "Балансовая группа"},
        {PageId::Providers,
         "AdminProvider",
         "EProvider",
         {"Сбыт", "123"},
         "INN='123'",
         "Поставщик"},
    };
    size_t warnings = 0;
    for (const Family& family : families) {
        OpenPage(family.page);
        ASSERT_EQ(Fields(family.prefix).size(), family.texts.size()) << family.table;
        AddRecord(family.prefix, family.texts);
        AddRecord(family.prefix, family.texts);
        ASSERT_EQ(messages_->warnings().size(), ++warnings) << family.table;
        EXPECT_EQ(messages_->warnings().back(),
                  family.warning + " с таким именем уже существует,\r\nдобавление невозможно! ");
        EXPECT_EQ(Fields(family.prefix)[0]->text(), family.texts[0]);
        EXPECT_EQ(SaveText(family.prefix), "Добавить");
        AddRecord(family.prefix, {family.texts[0].toLower()});
        EXPECT_EQ(Count(family.table), 2) << family.table;
        EXPECT_EQ(Count(family.table, family.stored), 1) << family.table;
    }
}

// Whether two icons show the same picture.
bool SamePicture(const QIcon& icon, app::Picture picture) {
    return icon.pixmap(16).toImage() == app::PicturePixmap(picture, 16).toImage();
}

TEST_F(RegisterPagesTest, CustomersCarryTheirTypeAndItsPicture) {
    OpenPage(PageId::Customers);
    auto* tree = Find<QTreeWidget>("TreeViewAdminCustomer");
    auto* type = Find<QComboBox>("ComboBoxAdminCustomerType");
    Press("ToolButtonAdminCustomerAdd");
    EXPECT_EQ(type->currentIndex(), 0);
    type->setCurrentIndex(1);
    Fields("AdminCustomer")[0]->setText("ООО \"Ток\"");
    Press("ButtonAdminCustomerSave");
    AddRecord("AdminCustomer", {"Петров"});
    EXPECT_EQ(Count("Customer", "TypeCode=1"), 1);
    EXPECT_TRUE(SamePicture(ChildByText(tree, "ООО \"Ток\"")->icon(0), app::Picture::Company));
    EXPECT_TRUE(SamePicture(ChildByText(tree, "Петров")->icon(0), app::Picture::Individual));
    ClickItem(tree, ChildByText(tree, "ООО \"Ток\""));
    EXPECT_EQ(type->currentIndex(), 1);

    // Changing the type in edit mode changes row and node picture.
    type->setCurrentIndex(0);
    Press("ButtonAdminCustomerSave");
    EXPECT_EQ(Count("Customer", "TypeCode=0"), 2);
    EXPECT_TRUE(SamePicture(ChildByText(tree, "ООО \"Ток\"")->icon(0), app::Picture::Individual));
}

TEST_F(RegisterPagesTest, OperatorsRefuseDuplicatesAndEmptyFieldsAndKeepTheAdministrator) {
    OpenPage(PageId::Operators);
    auto* tree = Find<QTreeWidget>("TreeViewAdminOperator");
    // Login and password are typed in capitals; the name is fixed once added.
    Press("ToolButtonAdminOperatorAdd");
    Edit("LabeledEditAdminOperatorName")->setText("Иван");
    Type(Edit("LabeledEditAdminOperatorLogin"), "ivan");
    Type(Edit("LabeledEditAdminOperatorPassword"), "пароль");
    Press("ButtonAdminOperatorSave");
    EXPECT_EQ(Count("Operator", "Login='IVAN' AND Password='ПАРОЛЬ' AND XML=''"), 1);
    EXPECT_FALSE(Edit("LabeledEditAdminOperatorName")->isEnabled());
    EXPECT_TRUE(Edit("LabeledEditAdminOperatorLogin")->isEnabled());

    AddRecord("AdminOperator", {"Иван", "OTHER", "1"});
    AddRecord("AdminOperator", {"Пётр", "IVAN", "1"});
    AddRecord("AdminOperator", {"", "X", "1"});
    AddRecord("AdminOperator", {"Иван", "", "1"});  // the empty field is found before the name
    EXPECT_EQ(messages_->warnings(),
              (std::vector<std::string>{
                  "Оператор с таким Именем уже существует,\r\nдобавление невозможно!",
                  "Оператор с таким Логином уже существует,\r\nдобавление невозможно!",
                  "Поле \"Имя\" не может быть пустым!", "Поле \"Логин\" не может быть пустым!"}));
    EXPECT_EQ(Fields("AdminOperator")[0]->text(), "Иван");
    EXPECT_EQ(Count("Operator"), 2);

    // Saving rewrites login and password; an empty password is refused.
    ClickItem(tree, ChildByText(tree, "Иван"));
    Edit("LabeledEditAdminOperatorLogin")->setText("IVANP");
    Press("ButtonAdminOperatorSave");
    EXPECT_EQ(Count("Operator", "Login='IVANP'"), 1);
    Edit("LabeledEditAdminOperatorPassword")->clear();
    Press("ButtonAdminOperatorSave");
    EXPECT_EQ(messages_->warnings().back(), "Поле \"Пароль\" не может быть пустым!");
    EXPECT_EQ(Count("Operator", "Password='ПАРОЛЬ'"), 1);

    // The built-in administrator keeps name, login and row; its password can change.
    ClickItem(tree, ChildByText(tree, "Администратор"));
    EXPECT_EQ(Edit("LabeledEditAdminOperatorLogin")->text(), "KREMU");
    EXPECT_FALSE(Edit("LabeledEditAdminOperatorLogin")->isEnabled());
    EXPECT_FALSE(Edit("LabeledEditAdminOperatorName")->isEnabled());
    EXPECT_FALSE(Enabled("ToolButtonAdminOperatorDelete"));
    Edit("LabeledEditAdminOperatorPassword")->setText("NEWPW");
    Press("ButtonAdminOperatorSave");
    EXPECT_EQ(Count("Operator", "Login='KREMU' AND Password='NEWPW'"), 1);
}

TEST_F(RegisterPagesTest, ContractsAreAddedAndDeletedPerCustomer) {
    PrepareDatabase({"INSERT into Customer (Name,TypeCode) values('Иванов','0')",
                     "INSERT into Customer (Name,TypeCode) values('Петров','0')"});
    OpenPage(PageId::Contracts);
    auto* tree = Find<QTreeWidget>("TreeViewAdminContractCustomer");
    auto* list = Find<QListWidget>("ListBoxAdminContract");
    auto* title = Find<QLabel>("LabelAdminContractList");
    EXPECT_FALSE(Enabled("ToolButtonAdminContractAdd"));

    ClickItem(tree, ChildByText(tree, "Иванов"));
    EXPECT_EQ(title->text(), "Договоры с клиентом: Иванов");
    EXPECT_FALSE(Enabled("ButtonAdminContractSave"));
    Press("ToolButtonAdminContractAdd");
    Edit("LabeledEditAdminContractName")->setText("Д-1/2024");
    Press("ButtonAdminContractSave");
    ASSERT_EQ(list->count(), 1);
    EXPECT_TRUE(list->item(0)->isSelected());
    EXPECT_FALSE(Edit("LabeledEditAdminContractName")->isEnabled());
    EXPECT_EQ(Count("Contract", "Name='Д-1/2024' AND CustomerUID=1"), 1);

    // The other customer has no contracts.
    ClickItem(tree, ChildByText(tree, "Петров"));
    EXPECT_EQ(list->count(), 0);
    ClickItem(tree, ChildByText(tree, "Иванов"));
    ClickRow(list, 0);
    EXPECT_EQ(Edit("LabeledEditAdminContractName")->text(), "Д-1/2024");
    Press("ToolButtonAdminContractDelete");
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(Count("Contract"), 0);
    ClickItem(tree, tree->topLevelItem(0));
    EXPECT_TRUE(Showing("PanelAdminContractPrompt"));
    EXPECT_EQ(title->text(), "Договоры");
}

TEST_F(RegisterPagesTest, AccountsBindCustomerAndContract) {
    PrepareDatabase({"INSERT into Customer (Name,TypeCode) values('Иванов','0')",
                     "INSERT into Customer (Name,TypeCode) values('Петров','0')",
                     "INSERT into Contract (CustomerUID,Name) values('2','Д-7')"});
    OpenPage(PageId::Accounts);
    auto* customers = Find<QComboBox>("ComboBoxAdminAccountCustomer");
    auto* contracts = Find<QComboBox>("ComboBoxAdminAccountContract");

    // No binding chosen: 0 and 0; shown with both lists empty and nothing to save.
    AddRecord("AdminAccount", {"ЛС-1"});
    EXPECT_EQ(Count("Account", "CustomerUID=0 AND ContractUID=0"), 1);
    EXPECT_EQ(customers->count() + contracts->count(), 0);
    EXPECT_FALSE(Enabled("ButtonAdminAccountSave"));

    // Choosing the contract selects its customer.
    Press("ButtonAdminAccountCancel");
    Press("ToolButtonAdminAccountAdd");
    EXPECT_EQ(customers->currentIndex(), -1);
    Edit("LabeledEditAdminAccountName")->setText("ЛС-2");
    contracts->setCurrentIndex(0);
    emit contracts->activated(0);
    EXPECT_EQ(customers->currentText(), "Петров");
    Press("ButtonAdminAccountSave");
    EXPECT_EQ(Count("Account", "Name='ЛС-2' AND CustomerUID=2 AND ContractUID=1"), 1);
    EXPECT_EQ(contracts->currentText(), "Д-7");

    // Choosing a customer lists only its contracts.
    Press("ButtonAdminAccountCancel");
    Press("ToolButtonAdminAccountAdd");
    customers->setCurrentIndex(0);
    emit customers->activated(0);
    EXPECT_EQ(contracts->count(), 0);
}

}  // namespace
}  // namespace zb::apptest
