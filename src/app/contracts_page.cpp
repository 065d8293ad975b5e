#include "app/contracts_page.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "admin/reference.h"
#include "app/pictures.h"
#include "storage/sqlite_database.h"

namespace zb::app {

namespace ct = admin::contract_texts;

ContractsPage::ContractsPage(QWidget* parent) : Page(ct::kCaption, "PageAdminContract", parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(8);

    tree_ = new QTreeWidget(this);
    tree_->setObjectName("TreeViewAdminContractCustomer");
    tree_->setAccessibleName(Q(ct::kRoot));
    tree_->setHeaderHidden(true);
    tree_->setMinimumWidth(220);
    tree_->setMaximumWidth(340);
    layout->addWidget(tree_, 2);

    auto* middle = new QWidget(this);
    middle->setMinimumWidth(200);
    middle->setMaximumWidth(320);
    auto* middleLayout = new QVBoxLayout(middle);
    middleLayout->setContentsMargins(0, 0, 0, 0);
    middleLayout->setSpacing(4);
    bar_ = new AddDeleteBar("AdminContract", ct::kAddHint, ct::kDeleteHint, middle);
    middleLayout->addWidget(bar_);
    listTitle_ = new QLabel(Q(ct::kListTitle), middle);
    listTitle_->setObjectName("LabelAdminContractList");
    listTitle_->setWordWrap(true);
    QFont bold = listTitle_->font();
    bold.setBold(true);
    listTitle_->setFont(bold);
    middleLayout->addWidget(listTitle_);
    list_ = new QListWidget(middle);
    list_->setObjectName("ListBoxAdminContract");
    NameField(list_, Q(ct::kListTitle));
    middleLayout->addWidget(list_, 1);
    layout->addWidget(middle, 2);

    right_ = new AttributesStack("AdminContract", ct::kPrompt, this);
    right_->header->setText(Q(ct::kHeader));
    right_->header->setPicture(PicturePixmap(Picture::Contract, 32));
    right_->saveButton->setText(Q(admin::kModeAdd));
    auto* form = new QVBoxLayout(right_->form);
    form->setContentsMargins(0, 8, 0, 0);
    auto* fields = new QFormLayout();
    fields->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    number_ = new QLineEdit(right_->form);
    number_->setObjectName("LabeledEditAdminContractName");
    AddFieldRow(fields, Q(ct::kNumberLabel), number_);
    form->addLayout(fields);
    form->addStretch(1);
    layout->addWidget(right_, 5);

    OnNodeChosen(tree_, this, [this](QTreeWidgetItem* item) { ChooseCustomer(item); });
    connect(list_, &QListWidget::itemClicked, this, &ContractsPage::ChooseContract);
    connect(bar_->addButton, &QToolButton::clicked, this, &ContractsPage::Add);
    connect(bar_->deleteButton, &QToolButton::clicked, this, &ContractsPage::Delete);
    connect(right_->saveButton, &QPushButton::clicked, this, &ContractsPage::Save);
    connect(right_->cancelButton, &QPushButton::clicked, this, &ContractsPage::Cancel);
    right_->ShowPrompt();
}

void ContractsPage::Load() {
    {
        QSignalBlocker block(tree_);
        tree_->clear();
        auto* root = new QTreeWidgetItem(tree_, QStringList{Q(ct::kRoot)});
        root->setData(0, kUidRole, qlonglong{0});
        root->setIcon(0, PictureIcon(Picture::Folder));
        for (const auto& row : admin::LoadFamily(storage::Database(), admin::CustomersRegister())) {
            auto* item = new QTreeWidgetItem(root, QStringList{Q(row.name)});
            item->setData(0, kUidRole, qlonglong{row.uid});
            item->setIcon(0, PictureIcon(CustomerPicture(row.typeCode)));
        }
        root->sortChildren(0, Qt::AscendingOrder);
        tree_->expandAll();
    }
    Cancel();
}

void ContractsPage::ChooseCustomer(QTreeWidgetItem* item) {
    if (item == nullptr) {
        return;
    }
    Guarded([&] {
        list_->clear();
        listTitle_->setText(Q(ct::kListTitle));
        const int64_t uid = UidOf(item);
        if (uid == 0) {
            Cancel();
            return;
        }
        bar_->addButton->setEnabled(true);
        bar_->deleteButton->setEnabled(false);
        number_->setEnabled(false);
        right_->saveButton->setEnabled(false);
        right_->cancelButton->setEnabled(true);
        listTitle_->setText(Q(admin::ContractListTitle(S(item->text(0)))));
        for (const auto& row : admin::LoadContractsOf(storage::Database(), uid)) {
            auto* contract = new QListWidgetItem(Q(row.text), list_);
            contract->setData(kUidRole, qlonglong{row.uid});
            contract->setIcon(PictureIcon(Picture::Contract));
        }
        right_->header->setText(Q(ct::kHeader));
        number_->clear();
        right_->ShowAttributes();
    });
}

void ContractsPage::ChooseContract() {
    QListWidgetItem* item = list_->currentItem();
    if (list_->count() == 0 || item == nullptr || !item->isSelected()) {
        return;
    }
    bar_->deleteButton->setEnabled(true);
    right_->saveButton->setEnabled(false);
    right_->cancelButton->setEnabled(true);
    right_->header->setText(Q(ct::kHeader));
    number_->setText(item->text());
    number_->setEnabled(false);
    right_->ShowAttributes();
}

void ContractsPage::Add() {
    right_->header->setText(Q(ct::kHeaderNew));
    list_->clearSelection();
    list_->setCurrentItem(nullptr);
    number_->clear();
    number_->setEnabled(true);
    right_->saveButton->setText(Q(admin::kModeAdd));
    right_->saveButton->setEnabled(true);
    bar_->deleteButton->setEnabled(false);
    right_->ShowAttributes();
    number_->setFocus();
}

void ContractsPage::Save() {
    Guarded([&] {
        QTreeWidgetItem* customer = tree_->currentItem();
        if (customer == nullptr || UidOf(customer) == 0) {
            return;
        }
        const std::string number = S(number_->text());
        const int64_t uid = admin::AddContract(storage::Database(), UidOf(customer), number);
        auto* item = new QListWidgetItem(Q(number), list_);
        item->setData(kUidRole, qlonglong{uid});
        item->setIcon(PictureIcon(Picture::Contract));
        list_->setCurrentItem(item);
        item->setSelected(true);
        ChooseContract();
    });
}

void ContractsPage::Delete() {
    Guarded([&] {
        QListWidgetItem* item = list_->currentItem();
        if (item == nullptr || !item->isSelected()) {
            return;
        }
        admin::DeleteContract(storage::Database(), item->data(kUidRole).toLongLong());
        delete item;
        list_->clearSelection();
        bar_->deleteButton->setEnabled(false);
        number_->clear();
    });
}

void ContractsPage::Cancel() {
    {
        QSignalBlocker block(tree_);
        tree_->clearSelection();
        if (auto* root = tree_->topLevelItem(0)) {
            tree_->setCurrentItem(root);
            root->setSelected(true);
        }
    }
    list_->clear();
    listTitle_->setText(Q(ct::kListTitle));
    bar_->addButton->setEnabled(false);
    bar_->deleteButton->setEnabled(false);
    right_->ShowPrompt();
}

}  // namespace zb::app
