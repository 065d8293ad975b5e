#include "app/operators_page.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

#include "admin/operators.h"
#include "app/pictures.h"
#include "app/shell_texts.h"
#include "storage/sqlite_database.h"

namespace zb::app {

namespace ot = admin::operator_texts;

namespace {
constexpr const char* kLevels[] = {
    "Гость (только чтение из Базы Данных)",
    "Пользователь (+ создание запросов на чтение параметров и архивов)",
    "Мастер (+ создание запросов на конфигурирование счётчиков)",
    "Администратор (+ создание/удаление операторов)",
};

QLineEdit* MakeEdit(const QString& name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    return edit;
}
}  // namespace

OperatorsPage::OperatorsPage(QWidget* parent)
    : RegisterPage({texts::kOperators, texts::kPromptOperators, ot::kAddHint, ot::kDeleteHint,
                    ot::kRoot, ot::kHeaderEdit, ot::kHeaderNew},
                   "AdminOperator", parent) {
    frame()->header->setText(Q(ot::kHeader));
    frame()->header->setPicture(PicturePixmap(Picture::Operator, 32));

    auto* form = Form();
    auto* fields = AddFieldRows();
    name_ = MakeEdit("LabeledEditAdminOperatorName", frame()->form);
    login_ = MakeEdit("LabeledEditAdminOperatorLogin", frame()->form);
    password_ = MakeEdit("LabeledEditAdminOperatorPassword", frame()->form);
    // The login panel turns what is typed into capitals, so logins and passwords are kept in
    // capitals here too: an operator entered in small letters could never log in.
    MakeUpperCase(login_);
    MakeUpperCase(password_);
    AddFieldRow(fields, "Имя", name_);
    AddFieldRow(fields, "Логин", login_);
    AddFieldRow(fields, "Пароль", password_);

    // Contact data and levels of authority carry no behaviour: shown, always disabled.
    auto* contact = new QGroupBox("Контактные данные", frame()->form);
    contact->setObjectName("GroupBoxAdminOperatorContact");
    auto* contactLayout = new QFormLayout(contact);
    AddFieldRow(contactLayout, "Мобильный тел.",
                MakeEdit("LabeledEditAdminOperatorPhone", contact));
    AddFieldRow(contactLayout, "E-mail", MakeEdit("LabeledEditAdminOperatorEMail", contact));
    contact->setEnabled(false);
    form->addWidget(contact);
    auto* levels = new QGroupBox("Уровень полномочий оператора", frame()->form);
    levels->setObjectName("RadioGroupAdminOperatorLevel");
    auto* levelsLayout = new QVBoxLayout(levels);
    for (int i = 0; i < static_cast<int>(std::size(kLevels)); ++i) {
        auto* level = new QRadioButton(Q(kLevels[i]), levels);
        level->setObjectName(QString("RadioButtonAdminOperatorLevel%1").arg(i));
        levelsLayout->addWidget(level);
    }
    levels->setEnabled(false);
    form->addWidget(levels);
    form->addStretch(1);
}

void OperatorsPage::FillTree(QTreeWidgetItem* root) {
    for (const auto& row : admin::LoadOperators(storage::Database())) {
        frame()->AddChild(root, row.text, row.uid, PictureIcon(Picture::Operator));
    }
}

void OperatorsPage::ShowRecord(int64_t uid) {
    if (uid == 0) {  // a new row
        name_->setEnabled(true);
        name_->setText(Q(ot::kNewNamePrompt));
        name_->selectAll();
        login_->setEnabled(true);
        login_->clear();
        password_->setEnabled(true);
        password_->clear();
        name_->setFocus();
        return;
    }
    const auto record = admin::ReadOperator(storage::Database(), uid);
    name_->setText(record ? Q(record->name) : QString());
    login_->setText(record ? Q(record->login) : QString());
    password_->setText(record ? Q(record->password) : QString());
    // Names are fixed once created; the built-in administrator keeps its login and stays.
    name_->setEnabled(false);
    const bool changeable = record && !admin::OperatorIsProtected(record->login);
    frame()->deleteButton->setEnabled(changeable);
    login_->setEnabled(changeable);
    password_->setEnabled(true);
}

std::optional<RegisterPage::Node> OperatorsPage::StoreRecord(int64_t uid) {
    const admin::OperatorRecord record{S(name_->text()), S(login_->text()), S(password_->text())};
    auto& db = storage::Database();
    // A saved row is checked for empty fields only; an added one for duplicates too.
    const auto result = uid == 0 ? admin::AddOperator(db, record)
                                 : admin::AddResult{uid, admin::CheckOperatorFields(record)};
    if (!result.Added()) {
        base::Messages().Warning(result.warning);
        return std::nullopt;
    }
    if (uid != 0) {
        admin::SaveOperator(db, uid, record);
    }
    return Node{record.name, result.uid, PictureIcon(Picture::Operator)};
}

bool OperatorsPage::DeleteRecord(int64_t uid) {
    return admin::DeleteOperator(storage::Database(), uid);
}

}  // namespace zb::app
