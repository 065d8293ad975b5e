// The register pages driven through their widgets: the skeleton they share, tested once on the
// categories page, then each page's own rules.
#include <QComboBox>
#include <QListWidget>
#include <QTabWidget>
#include <QTableWidget>

#include "base/events.h"
#include "link/mirror.h"
#include "storage/stored_text.h"
#include "window_fixture.h"

namespace zb::apptest {
namespace {

namespace fs = std::filesystem;
using app::PageId;

class RegisterPagesTest : public WindowTest {
  protected:
    fs::path Mirror(const char* id) const { return link::MirrorDir(dir_.path(), id); }
    QTableWidget* Values(const char* name) const {
        return Find<QTableWidget>(QString("ValueListEditorAdminCtr") + name);
    }
    // A register page's state: "prompt" or header/save caption, then the tool buttons enabled.
    QString Mode(const QString& prefix) const {
        const QString right = Showing("Panel" + prefix + "Prompt")
                                  ? "prompt"
                                  : Find<app::HeaderPanel>("Panel" + prefix + "Header")->text() +
                                        "/" + Find<QPushButton>("Button" + prefix + "Save")->text();
        return right + (Enabled("ToolButton" + prefix + "Add") ? " +add" : "") +
               (Enabled("ToolButton" + prefix + "Delete") ? " +delete" : "");
    }
};

TEST_F(RegisterPagesTest, SkeletonAddsEditsSortsCancelsAndDeletes) {
    OpenPage(PageId::Categories);
    auto* tree = Find<QTreeWidget>("TreeViewAdminCategory");
    EXPECT_EQ(Mode("AdminCategory"), "prompt +add");
    Press("ToolButtonAdminCategoryAdd");
    EXPECT_EQ(Mode("AdminCategory"), "Новая категория/Добавить");
    Press("ButtonAdminCategoryCancel");
    EXPECT_EQ(Mode("AdminCategory"), "prompt +add");
    // The row added is chosen for editing.
    AddRecord("AdminCategory", {"Промышленность"});
    AddRecord("AdminCategory", {"Быт \"<1>\""});
    EXPECT_EQ(tree->currentItem()->text(0), "Быт \"<1>\"");
    EXPECT_EQ(Mode("AdminCategory"), "Категория (редактировать)/Сохранить +delete");

    // Saving renames the node and sorts the tree again; the name may be taken.
    ClickItem(tree, ChildByText(tree, "Промышленность"));
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
    EXPECT_EQ(Mode("AdminCategory"), "prompt +add");

    // Opening the page again reads the table, sorted.
    storage::Database().ExecuteSql("INSERT into CustomGroup (Name) values('Авто')");
    ShowPage(PageId::Categories);
    EXPECT_EQ(ChildTexts(tree), (QStringList{"Авто", "Быт \"<1>\""}));
}

// A family page (customers here; categories, balance groups and providers are the same page over
// other tables) stores its fields and a customer's type, refuses a second row of a name with the
// register's warning, keeping what was typed, and takes another letter case as another name.
TEST_F(RegisterPagesTest, FamilyPageStoresItsFieldsAndRefusesADuplicateName) {
    OpenPage(PageId::Customers);
    AddRecord("AdminCustomer", {"Иванов", "ул. Ленина, 1", "7701"});
    AddRecord("AdminCustomer", {"Иванов"});
    EXPECT_EQ(messages_->warnings(),
              std::vector<std::string>{
                  "Клиент с таким именем уже существует,\r\nдобавление невозможно! "});
    EXPECT_EQ(Fields("AdminCustomer")[0]->text(), "Иванов");
    EXPECT_EQ(Mode("AdminCustomer"), "Новый клиент/Добавить");
    AddRecord("AdminCustomer", {"иванов"});
    EXPECT_EQ(Count("Customer"), 2);
    EXPECT_EQ(Count("Customer", "StreetAddress='ул. Ленина, 1' AND INN='7701' AND TypeCode=0"), 1);

    // The type is stored, shown again and pictured on the node.
    auto* tree = Find<QTreeWidget>("TreeViewAdminCustomer");
    auto* type = Find<QComboBox>("ComboBoxAdminCustomerType");
    const auto picture = [&](const char* name) {
        return ChildByText(tree, name)->icon(0).pixmap(16).toImage();
    };
    ClickItem(tree, ChildByText(tree, "Иванов"));
    type->setCurrentIndex(1);
    Press("ButtonAdminCustomerSave");
    EXPECT_EQ(Count("Customer", "TypeCode=1"), 1);
    EXPECT_NE(picture("Иванов"), picture("иванов"));
    ClickItem(tree, ChildByText(tree, "иванов"));
    ClickItem(tree, ChildByText(tree, "Иванов"));
    EXPECT_EQ(type->currentIndex(), 1);
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

    AddRecord("AdminOperator", {"Иван", "OTHER", "1"});
    AddRecord("AdminOperator", {"Пётр", "IVAN", "1"});
    AddRecord("AdminOperator", {"Иван", "", "1"});  // the empty field is found before the name
    EXPECT_EQ(messages_->warnings(),
              (std::vector<std::string>{
                  "Оператор с таким Именем уже существует,\r\nдобавление невозможно!",
                  "Оператор с таким Логином уже существует,\r\nдобавление невозможно!",
                  "Поле \"Логин\" не может быть пустым!"}));
    EXPECT_EQ(Count("Operator"), 2);

    // The built-in administrator keeps name, login and row; its password can change.
    ClickItem(tree, ChildByText(tree, "Администратор"));
    EXPECT_FALSE(Edit("LabeledEditAdminOperatorLogin")->isEnabled());
    EXPECT_FALSE(Edit("LabeledEditAdminOperatorName")->isEnabled());
    EXPECT_EQ(Mode("AdminOperator"), "Оператор (редактировать)/Сохранить");
    Edit("LabeledEditAdminOperatorPassword")->setText("NEWPW");
    Press("ButtonAdminOperatorSave");
    EXPECT_EQ(Count("Operator", "Login='KREMU' AND Password='NEWPW'"), 1);
}

// Contracts are kept per customer; an account binds a customer and one of its contracts.
TEST_F(RegisterPagesTest, ContractsPerCustomerAndAccountsBindingBoth) {
    PrepareDatabase({"INSERT into Customer (Name,TypeCode) values('Иванов','0')",
                     "INSERT into Customer (Name,TypeCode) values('Петров','0')"});
    OpenPage(PageId::Contracts);
    auto* tree = Find<QTreeWidget>("TreeViewAdminContractCustomer");
    auto* list = Find<QListWidget>("ListBoxAdminContract");
    for (const auto& [customer, contract] :
         {std::pair{"Иванов", "Д-1"}, std::pair{"Петров", "Д-7"}}) {
        ClickItem(tree, ChildByText(tree, customer));
        EXPECT_EQ(list->count(), 0) << customer;
        Press("ToolButtonAdminContractAdd");
        Edit("LabeledEditAdminContractName")->setText(contract);
        Press("ButtonAdminContractSave");
        ASSERT_EQ(list->count(), 1);
        EXPECT_TRUE(list->item(0)->isSelected());
    }
    EXPECT_EQ(Count("Contract", "Name='Д-7' AND CustomerUID=2"), 1);
    ClickItem(tree, ChildByText(tree, "Иванов"));
    ClickRow(list, 0);
    EXPECT_EQ(Edit("LabeledEditAdminContractName")->text(), "Д-1");
    Press("ToolButtonAdminContractDelete");
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(Count("Contract"), 1);

    ShowPage(PageId::Accounts);
    auto* customers = Find<QComboBox>("ComboBoxAdminAccountCustomer");
    auto* contracts = Find<QComboBox>("ComboBoxAdminAccountContract");
    // No binding chosen: 0 and 0; shown with both lists empty and nothing to save.
    AddRecord("AdminAccount", {"ЛС-1"});
    EXPECT_EQ(Count("Account", "CustomerUID=0 AND ContractUID=0"), 1);
    EXPECT_EQ(customers->count() + contracts->count(), 0);
    EXPECT_FALSE(Enabled("ButtonAdminAccountSave"));
    // Choosing the contract selects its customer; choosing a customer lists only its contracts.
    Press("ButtonAdminAccountCancel");
    Press("ToolButtonAdminAccountAdd");
    Edit("LabeledEditAdminAccountName")->setText("ЛС-2");
    contracts->setCurrentIndex(0);
    emit contracts->activated(0);
    EXPECT_EQ(customers->currentText(), "Петров");
    Press("ButtonAdminAccountSave");
    EXPECT_EQ(Count("Account", "Name='ЛС-2' AND CustomerUID=2 AND ContractUID=2"), 1);
    Press("ButtonAdminAccountCancel");
    Press("ToolButtonAdminAccountAdd");
    customers->setCurrentIndex(customers->findText("Иванов"));
    emit customers->activated(customers->currentIndex());
    EXPECT_EQ(contracts->count(), 0);
}

// The concentrators page against real mirror directories and the real link: add, rename, the
// stored values and the address refreshed by the core's events and the simulator's handshake for
// the concentrator shown only, the refresh commands, delete.
TEST_F(RegisterPagesTest, ConcentratorsWithTheirMirrorsAndTheLink) {
    OpenPage(PageId::Ctr);
    auto* tree = Find<QTreeWidget>("TreeViewAdminCtr");
    // The spin buttons step the typed ID as a decimal number.
    Press("ToolButtonAdminCtrAdd");
    Edit("LabeledEditAdminCtrID")->setText("0009");
    Press("SpinButtonAdminCtrIDUp");
    EXPECT_EQ(Edit("LabeledEditAdminCtrID")->text(), "0010");
    AddRecord("AdminCtr", {"00a1", "ТП-5"});
    EXPECT_EQ(ChildTexts(tree), QStringList{"00A1 [ТП-5]"});
    EXPECT_FALSE(Enabled("SpinButtonAdminCtrID"));
    EXPECT_TRUE(fs::is_directory(Mirror("00A1") / "ROOT/WORK/INBOX"));
    AddRecord("AdminCtr", {"a1"});  // the short form of a registered ID
    EXPECT_EQ(messages_->warnings().size(), 1u);

    // Saving renames row and node, but the mirror stays where it is.
    AddRecord("AdminCtr", {"00A2"});
    Edit("LabeledEditAdminCtrID")->setText("00b2");
    Edit("LabeledEditAdminCtrPassword")->setText("secret");
    Press("ButtonAdminCtrSave");
    EXPECT_EQ(ChildTexts(tree), (QStringList{"00A1 [ТП-5]", "00B2"}));
    EXPECT_EQ(Count("CTR", "ID='00B2' AND Password='secret'"), 1);
    EXPECT_TRUE(fs::exists(Mirror("00A2")));
    EXPECT_FALSE(fs::exists(Mirror("00B2")));

    storage::Database().ExecuteSql(
        "UPDATE CTR set InfoBasic=" + storage::SqlText("Serial=77<1>\r\nFW=2.1") +
        ", Profile='Meter=M-230'");
    ClickItem(tree, ChildByText(tree, "00A1 [ТП-5]"));
    ASSERT_EQ(Values("InfoBasic")->rowCount(), 2);
    EXPECT_EQ(Values("InfoBasic")->item(0, 1)->text(), "77<1>");
    EXPECT_EQ(Values("Profile")->item(0, 1)->text(), "M-230");
    storage::Database().ExecuteSql("UPDATE CTR set InfoBasic='A=1'");
    base::Events().CtrValuesChanged("00B2");
    base::Events().CtrLastAddressChanged("00B2", "10.0.0.2");
    Flush();
    EXPECT_EQ(Values("InfoBasic")->rowCount(), 2);
    EXPECT_EQ(Edit("LabeledEditAdminCtrLastIP")->text(), "<NULL>");
    base::Events().CtrValuesChanged("00A1");
    ASSERT_TRUE(WaitFor([&] { return Values("InfoBasic")->rowCount() == 1; }));
    zb::testing::TempDir ctr;
    ASSERT_EQ(RunConcentrator("00A1", ctr.path()), 0);
    EXPECT_EQ(Edit("LabeledEditAdminCtrLastIP")->text(), "127.0.0.1");
    EXPECT_TRUE(Enabled("ButtonAdminCtrConnect"));
    // Selecting it again reads the address from the link's table.
    Press("ButtonAdminCtrCancel");
    ClickItem(tree, ChildByText(tree, "00A1 [ТП-5]"));
    EXPECT_EQ(Edit("LabeledEditAdminCtrLastIP")->text(), "127.0.0.1");
    const fs::path inbox = Mirror("00A1") / "ROOT/WORK/INBOX";
    fs::remove(inbox / "GetParams.xml");
    Press("ButtonAdminCtrRefresh");
    EXPECT_TRUE(fs::exists(inbox / "GetParams.xml"));

    // Deleting releases the measuring points and removes mirror and row.
    storage::Database().ExecuteSql(
        "INSERT into MeasuringPoint (Name,CtrUID) SELECT 'mp',UID from CTR WHERE ID='00A1'");
    Press("ToolButtonAdminCtrDelete");
    EXPECT_EQ(ChildTexts(tree), QStringList{"00B2"});
    EXPECT_FALSE(fs::exists(Mirror("00A1")));
    EXPECT_EQ(Count("MeasuringPoint", "CtrUID=0"), 1);
    // 00B2 has no mirror of its name: its commands cannot be written, and the page says so.
    ClickItem(tree, ChildByText(tree, "00B2"));
    Press("ButtonAdminCtrRefresh");
    EXPECT_EQ(messages_->errors().size(), 1u);
}

}  // namespace
}  // namespace zb::apptest
