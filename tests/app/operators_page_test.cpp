// The operators page driven through its widgets.
#include <QGroupBox>
#include <QTest>

#include "app/operators_page.h"
#include "storage/stored_text.h"
#include "window_fixture.h"

namespace zb::apptest {
namespace {

class OperatorsPageTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        OpenAdminPage("LabelAdminOperator");
        page_ = window_->operatorsPage();
        tree_ = Find<QTreeWidget>("TreeViewAdminOperator");
    }

    void Add(const QString& name, const QString& login, const QString& password) {
        // Adding starts from the root.
        Click(Find<QWidget>("ButtonAdminOperatorCancel"));
        Click(Find<QWidget>("ToolButtonAdminOperatorAdd"));
        page_->nameEdit()->setText(name);
        page_->loginEdit()->setText(login);
        page_->passwordEdit()->setText(password);
        Click(Find<QWidget>("ButtonAdminOperatorSave"));
        Flush();
    }

    app::OperatorsPage* page_ = nullptr;
    QTreeWidget* tree_ = nullptr;
};

TEST_F(OperatorsPageTest, AddThenEditTheNewOperator) {
    EXPECT_EQ(tree_->topLevelItem(0)->text(0), "Операторы");
    EXPECT_EQ(ChildTexts(tree_), QStringList{"Администратор"});
    EXPECT_EQ(page_->frame()->prompt->text(), "Выберите\nили добавьте\nоператора");
    EXPECT_FALSE(Find<QGroupBox>("RadioGroupAdminOperatorLevel")->isEnabled());
    EXPECT_FALSE(Find<QGroupBox>("GroupBoxAdminOperatorContact")->isEnabled());

    Click(Find<QWidget>("ToolButtonAdminOperatorAdd"));
    EXPECT_EQ(page_->frame()->header->text(), "Новый оператор");
    EXPECT_EQ(page_->nameEdit()->selectedText(), "Введите имя нового оператора");
    EXPECT_EQ(page_->frame()->saveButton->text(), "Добавить");
    EXPECT_FALSE(Find<QWidget>("ToolButtonAdminOperatorAdd")->isEnabled());
    // Login and password are typed in capitals, Cyrillic letters too.
    page_->nameEdit()->setText("Иван Петров");
    Type(page_->loginEdit(), "ivan");
    Type(page_->passwordEdit(), "пароль");
    EXPECT_EQ(page_->passwordEdit()->text(), QString("ПАРОЛЬ"));
    Click(Find<QWidget>("ButtonAdminOperatorSave"));
    EXPECT_TRUE(messages_->warnings().empty());
    EXPECT_EQ(ChildTexts(tree_), (QStringList{"Администратор", "Иван Петров"}));
    EXPECT_EQ(tree_->currentItem()->text(0), "Иван Петров");
    EXPECT_EQ(page_->frame()->header->text(), "Оператор (редактировать)");
    EXPECT_EQ(page_->frame()->saveButton->text(), "Сохранить");
    EXPECT_FALSE(page_->nameEdit()->isEnabled());
    EXPECT_TRUE(page_->loginEdit()->isEnabled());
    EXPECT_TRUE(Find<QWidget>("ToolButtonAdminOperatorDelete")->isEnabled());
    EXPECT_EQ(Count("Operator", "Login='IVAN' AND XML=''"), 1);

    // Saving in edit mode rewrites login and password, and stays in edit mode.
    page_->loginEdit()->setText("IVANP");
    page_->passwordEdit()->setText("PW2");
    Click(Find<QWidget>("ButtonAdminOperatorSave"));
    EXPECT_EQ(Count("Operator", "Login='IVANP' AND Password='PW2'"), 1);
    EXPECT_EQ(page_->frame()->saveButton->text(), "Сохранить");
    page_->passwordEdit()->clear();
    Click(Find<QWidget>("ButtonAdminOperatorSave"));
    EXPECT_EQ(messages_->warnings(),
              std::vector<std::string>{"Поле \"Пароль\" не может быть пустым!"});
    EXPECT_EQ(Count("Operator", "Password='PW2'"), 1);
}

TEST_F(OperatorsPageTest, DuplicatesAndEmptyFieldsAreRefusedAndDeleteAsksNothing) {
    Add("Иван", "IVAN", "1");
    Add("Иван", "OTHER", "1");
    Add("Пётр", "IVAN", "1");
    Add("", "X", "1");
    Add("Иван", "", "1");  // the empty field is found before the duplicate name
    EXPECT_EQ(messages_->warnings(),
              (std::vector<std::string>{
                  "Оператор с таким Именем уже существует,\r\nдобавление невозможно!",
                  "Оператор с таким Логином уже существует,\r\nдобавление невозможно!",
                  "Поле \"Имя\" не может быть пустым!", "Поле \"Логин\" не может быть пустым!"}));
    // The fields keep what was typed.
    EXPECT_EQ(page_->loginEdit()->text(), "");
    EXPECT_EQ(page_->nameEdit()->text(), "Иван");
    EXPECT_EQ(Count("Operator"), 2);
    // A name differing only in letter case is another name.
    Add("иван", "IVAN2", "1");
    EXPECT_EQ(Count("Operator"), 3);

    // Deleting the operator in front asks nothing.
    Click(Find<QWidget>("ToolButtonAdminOperatorDelete"));
    EXPECT_TRUE(messages_->questions().empty());
    EXPECT_EQ(ChildTexts(tree_), (QStringList{"Администратор", "Иван"}));
    EXPECT_EQ(Count("Operator"), 2);
    EXPECT_TRUE(page_->frame()->PromptShown());
    EXPECT_FALSE(Find<QWidget>("ToolButtonAdminOperatorDelete")->isEnabled());
}

TEST_F(OperatorsPageTest, BuiltInAdministratorIsProtected) {
    ClickItem(tree_, ChildByText(tree_, "Администратор"));
    EXPECT_EQ(page_->loginEdit()->text(), "KREMU");
    EXPECT_FALSE(page_->loginEdit()->isEnabled());
    EXPECT_FALSE(page_->nameEdit()->isEnabled());
    EXPECT_FALSE(Find<QWidget>("ToolButtonAdminOperatorDelete")->isEnabled());
    EXPECT_FALSE(Find<QWidget>("ToolButtonAdminOperatorAdd")->isEnabled());
    // Its password can still be changed.
    page_->passwordEdit()->setText("NEWPW");
    Click(Find<QWidget>("ButtonAdminOperatorSave"));
    EXPECT_EQ(Count("Operator", "Login='KREMU' AND Password='NEWPW'"), 1);
    ClickItem(tree_, tree_->topLevelItem(0));
    EXPECT_TRUE(page_->frame()->PromptShown());
    EXPECT_TRUE(Find<QWidget>("ToolButtonAdminOperatorAdd")->isEnabled());
}

}  // namespace
}  // namespace zb::apptest
