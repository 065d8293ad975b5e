// The operators page driven through its widgets.
#include <QGroupBox>
#include <QTest>

#include "storage/stored_text.h"
#include "window_fixture.h"

namespace zb::apptest {
namespace {

class OperatorsPageTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        OpenAdminPage("LabelAdminOperator");
        tree_ = Find<QTreeWidget>("TreeViewAdminOperator");
    }

    void Add(const QString& name, const QString& login, const QString& password) {
        // Adding starts from the root.
        Click(Find<QWidget>("ButtonAdminOperatorCancel"));
        Click(Find<QWidget>("ToolButtonAdminOperatorAdd"));
        Edit("LabeledEditAdminOperatorName")->setText(name);
        Edit("LabeledEditAdminOperatorLogin")->setText(login);
        Edit("LabeledEditAdminOperatorPassword")->setText(password);
        Click(Find<QWidget>("ButtonAdminOperatorSave"));
        Flush();
    }

    QTreeWidget* tree_ = nullptr;
};

TEST_F(OperatorsPageTest, AddThenEditTheNewOperator) {
    EXPECT_EQ(tree_->topLevelItem(0)->text(0), "Операторы");
    EXPECT_EQ(ChildTexts(tree_), QStringList{"Администратор"});
    EXPECT_EQ(Find<app::PromptPanel>("PanelAdminOperatorPrompt")->text(),
              "Выберите\nили добавьте\nоператора");
    EXPECT_FALSE(Find<QGroupBox>("RadioGroupAdminOperatorLevel")->isEnabled());
    EXPECT_FALSE(Find<QGroupBox>("GroupBoxAdminOperatorContact")->isEnabled());

    Click(Find<QWidget>("ToolButtonAdminOperatorAdd"));
    EXPECT_EQ(HeaderText("AdminOperator"), "Новый оператор");
    EXPECT_EQ(Edit("LabeledEditAdminOperatorName")->selectedText(), "Введите имя нового оператора");
    EXPECT_EQ(Find<QPushButton>("ButtonAdminOperatorSave")->text(), "Добавить");
    EXPECT_FALSE(Find<QWidget>("ToolButtonAdminOperatorAdd")->isEnabled());
    // Login and password are typed in capitals, Cyrillic letters too.
    Edit("LabeledEditAdminOperatorName")->setText("Иван Петров");
    Type(Edit("LabeledEditAdminOperatorLogin"), "ivan");
    Type(Edit("LabeledEditAdminOperatorPassword"), "пароль");
    EXPECT_EQ(Edit("LabeledEditAdminOperatorPassword")->text(), QString("ПАРОЛЬ"));
    Click(Find<QWidget>("ButtonAdminOperatorSave"));
    EXPECT_TRUE(messages_->warnings().empty());
    EXPECT_EQ(ChildTexts(tree_), (QStringList{"Администратор", "Иван Петров"}));
    EXPECT_EQ(tree_->currentItem()->text(0), "Иван Петров");
    EXPECT_EQ(HeaderText("AdminOperator"), "Оператор (редактировать)");
    EXPECT_EQ(Find<QPushButton>("ButtonAdminOperatorSave")->text(), "Сохранить");
    EXPECT_FALSE(Edit("LabeledEditAdminOperatorName")->isEnabled());
    EXPECT_TRUE(Edit("LabeledEditAdminOperatorLogin")->isEnabled());
    EXPECT_TRUE(Find<QWidget>("ToolButtonAdminOperatorDelete")->isEnabled());
    EXPECT_EQ(Count("Operator", "Login='IVAN' AND XML=''"), 1);

    // Saving in edit mode rewrites login and password, and stays in edit mode.
    Edit("LabeledEditAdminOperatorLogin")->setText("IVANP");
    Edit("LabeledEditAdminOperatorPassword")->setText("PW2");
    Click(Find<QWidget>("ButtonAdminOperatorSave"));
    EXPECT_EQ(Count("Operator", "Login='IVANP' AND Password='PW2'"), 1);
    EXPECT_EQ(Find<QPushButton>("ButtonAdminOperatorSave")->text(), "Сохранить");
    Edit("LabeledEditAdminOperatorPassword")->clear();
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
    EXPECT_EQ(Edit("LabeledEditAdminOperatorLogin")->text(), "");
    EXPECT_EQ(Edit("LabeledEditAdminOperatorName")->text(), "Иван");
    EXPECT_EQ(Count("Operator"), 2);
    // A name differing only in letter case is another name.
    Add("иван", "IVAN2", "1");
    EXPECT_EQ(Count("Operator"), 3);

    // Deleting the operator in front asks nothing.
    Click(Find<QWidget>("ToolButtonAdminOperatorDelete"));
    EXPECT_TRUE(messages_->questions().empty());
    EXPECT_EQ(ChildTexts(tree_), (QStringList{"Администратор", "Иван"}));
    EXPECT_EQ(Count("Operator"), 2);
    EXPECT_TRUE(Showing("PanelAdminOperatorPrompt"));
    EXPECT_FALSE(Find<QWidget>("ToolButtonAdminOperatorDelete")->isEnabled());
}

TEST_F(OperatorsPageTest, BuiltInAdministratorIsProtected) {
    ClickItem(tree_, ChildByText(tree_, "Администратор"));
    EXPECT_EQ(Edit("LabeledEditAdminOperatorLogin")->text(), "KREMU");
    EXPECT_FALSE(Edit("LabeledEditAdminOperatorLogin")->isEnabled());
    EXPECT_FALSE(Edit("LabeledEditAdminOperatorName")->isEnabled());
    EXPECT_FALSE(Find<QWidget>("ToolButtonAdminOperatorDelete")->isEnabled());
    EXPECT_FALSE(Find<QWidget>("ToolButtonAdminOperatorAdd")->isEnabled());
    // Its password can still be changed.
    Edit("LabeledEditAdminOperatorPassword")->setText("NEWPW");
    Click(Find<QWidget>("ButtonAdminOperatorSave"));
    EXPECT_EQ(Count("Operator", "Login='KREMU' AND Password='NEWPW'"), 1);
    ClickItem(tree_, tree_->topLevelItem(0));
    EXPECT_TRUE(Showing("PanelAdminOperatorPrompt"));
    EXPECT_TRUE(Find<QWidget>("ToolButtonAdminOperatorAdd")->isEnabled());
}

}  // namespace
}  // namespace zb::apptest
