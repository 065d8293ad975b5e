#include "app/contracts_page.h"

#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QStyle>
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
    auto* toolBar = new QHBoxLayout();
    add_ = new QToolButton(middle);
    add_->setObjectName("ToolButtonAdminContractAdd");
    add_->setToolTip(Q(ct::kAddHint));
    add_->setIcon(style()->standardIcon(QStyle::SP_FileDialogNewFolder));
    add_->setAutoRaise(true);
    delete_ = new QToolButton(middle);
    delete_->setObjectName("ToolButtonAdminContractDelete");
    delete_->setToolTip(Q(ct::kDeleteHint));
    delete_->setIcon(style()->standardIcon(QStyle::SP_TrashIcon));
    delete_->setAutoRaise(true);
    toolBar->addWidget(add_);
    toolBar->addWidget(delete_);
    toolBar->addStretch(1);
    middleLayout->addLayout(toolBar);
    listTitle_ = new QLabel(Q(ct::kListTitle), middle);
    listTitle_->setObjectName("LabelAdminContractList");
    listTitle_->setWordWrap(true);
    QFont bold = listTitle_->font();
    bold.setBold(true);
    listTitle_->setFont(bold);
    middleLayout->addWidget(listTitle_);
    list_ = new QListWidget(middle);
    list_->setObjectName("ListBoxAdminContract");
    middleLayout->addWidget(list_, 1);
    layout->addWidget(middle, 2);

    right_ = new QStackedWidget(this);
    prompt_ = new PromptPanel(ct::kPrompt, "PanelAdminContractPrompt", right_);
    attributes_ = new QWidget(right_);
    attributes_->setObjectName("PanelAdminContractAttr");
    auto* attrLayout = new QVBoxLayout(attributes_);
    attrLayout->setContentsMargins(0, 0, 0, 0);
    header_ = new HeaderPanel("PanelAdminContractHeader", attributes_);
    header_->setText(Q(ct::kHeader));
    header_->setPicture(PicturePixmap(Picture::Contract, 32));
    attrLayout->addWidget(header_);
    auto* fields = new QFormLayout();
    fields->setContentsMargins(0, 8, 0, 0);
    fields->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    number_ = new QLineEdit(attributes_);
    number_->setObjectName("LabeledEditAdminContractName");
    fields->addRow(Q(ct::kNumberLabel), number_);
    attrLayout->addLayout(fields);
    attrLayout->addStretch(1);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    save_ = new QPushButton(Q(admin::kModeAdd), attributes_);
    save_->setObjectName("ButtonAdminContractSave");
    save_->setMinimumWidth(100);
    cancel_ = new QPushButton("Cancel", attributes_);
    cancel_->setObjectName("ButtonAdminContractCancel");
    cancel_->setMinimumWidth(100);
    buttons->addWidget(save_);
    buttons->addWidget(cancel_);
    attrLayout->addLayout(buttons);
    right_->addWidget(prompt_);
    right_->addWidget(attributes_);
    layout->addWidget(right_, 5);

    connect(tree_, &QTreeWidget::itemClicked, this, &ContractsPage::ChooseCustomer);
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item != nullptr && tree_->hasFocus() &&
            QGuiApplication::mouseButtons() == Qt::NoButton) {
            ChooseCustomer(item);
        }
    });
    connect(list_, &QListWidget::itemClicked, this, &ContractsPage::ChooseContract);
    connect(add_, &QToolButton::clicked, this, &ContractsPage::Add);
    connect(delete_, &QToolButton::clicked, this, &ContractsPage::Delete);
    connect(save_, &QPushButton::clicked, this, &ContractsPage::Save);
    connect(cancel_, &QPushButton::clicked, this, &ContractsPage::Cancel);
    right_->setCurrentWidget(prompt_);
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
        add_->setEnabled(true);
        delete_->setEnabled(false);
        number_->setEnabled(false);
        save_->setEnabled(false);
        cancel_->setEnabled(true);
        listTitle_->setText(Q(admin::ContractListTitle(S(item->text(0)))));
        for (const auto& row : admin::LoadContractsOf(storage::Database(), uid)) {
            auto* contract = new QListWidgetItem(Q(row.text), list_);
            contract->setData(kUidRole, qlonglong{row.uid});
            contract->setIcon(PictureIcon(Picture::Contract));
        }
        header_->setText(Q(ct::kHeader));
        number_->clear();
        right_->setCurrentWidget(attributes_);
    });
}

void ContractsPage::ChooseContract() {
    QListWidgetItem* item = list_->currentItem();
    if (list_->count() == 0 || item == nullptr || !item->isSelected()) {
        return;
    }
    delete_->setEnabled(true);
    save_->setEnabled(false);
    cancel_->setEnabled(true);
    header_->setText(Q(ct::kHeader));
    number_->setText(item->text());
    number_->setEnabled(false);
    right_->setCurrentWidget(attributes_);
}

void ContractsPage::Add() {
    header_->setText(Q(ct::kHeaderNew));
    list_->clearSelection();
    list_->setCurrentItem(nullptr);
    number_->clear();
    number_->setEnabled(true);
    save_->setText(Q(admin::kModeAdd));
    save_->setEnabled(true);
    delete_->setEnabled(false);
    right_->setCurrentWidget(attributes_);
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
        delete_->setEnabled(false);
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
    add_->setEnabled(false);
    delete_->setEnabled(false);
    right_->setCurrentWidget(prompt_);
}

}  // namespace zb::app
