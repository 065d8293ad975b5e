#include "app/operators_page.h"

#include <QFormLayout>
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
}  // namespace

OperatorsPage::OperatorsPage(QWidget* parent)
    : Page(texts::kOperators, "PageAdminOperator", parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    frame_ = new RegisterFrame("AdminOperator", texts::kPromptOperators, ot::kAddHint,
                               ot::kDeleteHint, this);
    layout->addWidget(frame_);
    frame_->header->setText(Q(ot::kHeader));
    frame_->header->setPicture(PicturePixmap(Picture::Operator, 32));

    auto* form = new QVBoxLayout(frame_->form);
    form->setContentsMargins(0, 8, 0, 0);
    auto* fields = new QFormLayout();
    fields->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    name_ = new QLineEdit(frame_->form);
    name_->setObjectName("LabeledEditAdminOperatorName");
    login_ = new QLineEdit(frame_->form);
    login_->setObjectName("LabeledEditAdminOperatorLogin");
    password_ = new QLineEdit(frame_->form);
    password_->setObjectName("LabeledEditAdminOperatorPassword");
    // The login panel turns what is typed into capitals, so logins and passwords are kept in
    // capitals here too: an operator entered in small letters could never log in.
    MakeUpperCase(login_);
    MakeUpperCase(password_);
    fields->addRow("Имя", name_);
    fields->addRow("Логин", login_);
    fields->addRow("Пароль", password_);
    form->addLayout(fields);

    // Contact data and levels of authority carry no behaviour: shown, always disabled.
    auto* contact = new QGroupBox("Контактные данные", frame_->form);
    contact->setObjectName("GroupBoxAdminOperatorContact");
    auto* contactLayout = new QFormLayout(contact);
    auto* phone = new QLineEdit(contact);
    phone->setObjectName("LabeledEditAdminOperatorPhone");
    auto* mail = new QLineEdit(contact);
    mail->setObjectName("LabeledEditAdminOperatorEMail");
    contactLayout->addRow("Мобильный тел.", phone);
    contactLayout->addRow("E-mail", mail);
    contact->setEnabled(false);
    form->addWidget(contact);
    auto* levels = new QGroupBox("Уровень полномочий оператора", frame_->form);
    levels->setObjectName("RadioGroupAdminOperatorLevel");
    auto* levelsLayout = new QVBoxLayout(levels);
    for (const char* level : kLevels) {
        levelsLayout->addWidget(new QRadioButton(Q(level), levels));
    }
    levels->setEnabled(false);
    form->addWidget(levels);
    form->addStretch(1);

    connect(frame_, &RegisterFrame::nodeChosen, this, &OperatorsPage::Select);
    connect(frame_->addButton, &QToolButton::clicked, this, &OperatorsPage::Add);
    connect(frame_->deleteButton, &QToolButton::clicked, this, &OperatorsPage::Delete);
    connect(frame_->saveButton, &QPushButton::clicked, this, &OperatorsPage::Save);
    connect(frame_->cancelButton, &QPushButton::clicked, this, &OperatorsPage::Cancel);
    frame_->ShowPrompt();
}

void OperatorsPage::Load() {
    auto* root = frame_->ResetTree(ot::kRoot, PictureIcon(Picture::Folder));
    for (const auto& row : admin::LoadOperators(storage::Database())) {
        frame_->AddChild(root, row.text, row.uid, PictureIcon(Picture::Operator));
    }
    frame_->tree->expandAll();
    Cancel();
}

void OperatorsPage::Select(QTreeWidgetItem* item) {
    if (item == nullptr) {
        return;
    }
    Guarded([&] {
        const int64_t uid = UidOf(item);
        frame_->addButton->setEnabled(uid == 0);
        if (uid == 0) {
            frame_->deleteButton->setEnabled(false);
            login_->setEnabled(false);
            frame_->ShowPrompt();
        } else {
            frame_->header->setText(Q(ot::kHeaderEdit));
            frame_->ShowAttributes();
            const auto record = admin::ReadOperator(storage::Database(), uid);
            name_->setText(record ? Q(record->name) : QString());
            login_->setText(record ? Q(record->login) : QString());
            password_->setText(record ? Q(record->password) : QString());
            // Names are fixed once created.
            name_->setEnabled(false);
            const bool changeable = record && !admin::OperatorIsProtected(record->login);
            frame_->deleteButton->setEnabled(changeable);
            login_->setEnabled(changeable);
            password_->setEnabled(true);
        }
        frame_->saveButton->setText(Q(admin::kModeSave));
        frame_->saveButton->setEnabled(true);
    });
}

void OperatorsPage::Add() {
    frame_->header->setText(Q(ot::kHeaderNew));
    frame_->addButton->setEnabled(false);
    name_->setEnabled(true);
    name_->setText(Q(ot::kNewNamePrompt));
    name_->selectAll();
    login_->setEnabled(true);
    login_->clear();
    password_->setEnabled(true);
    password_->clear();
    frame_->saveButton->setText(Q(admin::kModeAdd));
    frame_->saveButton->setEnabled(true);
    frame_->ShowAttributes();
    name_->setFocus();
}

void OperatorsPage::Save() {
    Guarded([&] {
        const admin::OperatorRecord record{S(name_->text()), S(login_->text()),
                                           S(password_->text())};
        auto& db = storage::Database();
        if (frame_->saveButton->text() == Q(admin::kModeAdd)) {
            const auto result = admin::AddOperator(db, record);
            if (!result.added()) {
                base::Messages().Warning(result.warning);
                return;
            }
            auto* item = frame_->AddChild(frame_->Root(), record.name, result.uid,
                                          PictureIcon(Picture::Operator));
            frame_->SelectQuietly(item);
            Select(item);
            return;
        }
        QTreeWidgetItem* item = frame_->tree->currentItem();
        if (item == nullptr || UidOf(item) == 0) {
            return;
        }
        if (const auto warning = admin::CheckOperatorFields(record); !warning.empty()) {
            base::Messages().Warning(warning);
            return;
        }
        item->setText(0, Q(record.name));
        admin::SaveOperator(db, UidOf(item), record);
        Select(item);
    });
}

void OperatorsPage::Delete() {
    Guarded([&] {
        QTreeWidgetItem* item = frame_->tree->currentItem();
        if (item == nullptr || UidOf(item) == 0) {
            return;
        }
        if (admin::DeleteOperator(storage::Database(), UidOf(item))) {
            delete item;
        }
        Cancel();
    });
}

void OperatorsPage::Cancel() {
    frame_->ReturnToRoot();
}

}  // namespace zb::app
