#include "app/accounts_page.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "admin/reference.h"
#include "app/pictures.h"
#include "storage/sqlite_database.h"

namespace zb::app {

namespace at = admin::account_texts;

AccountsPage::AccountsPage(QWidget* parent) : Page(at::kCaption, "PageAdminAccount", parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    frame_ = new RegisterFrame("AdminAccount", at::kPrompt, at::kAddHint, at::kDeleteHint, this);
    layout->addWidget(frame_);
    frame_->header->setText(Q(at::kHeader));
    frame_->header->setPicture(PicturePixmap(Picture::Account, 32));

    auto* form = new QVBoxLayout(frame_->form);
    form->setContentsMargins(0, 8, 0, 0);
    auto* fields = new QFormLayout();
    fields->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    number_ = new QLineEdit(frame_->form);
    number_->setObjectName("LabeledEditAdminAccountName");
    fields->addRow(Q(at::kNumberLabel), number_);
    form->addLayout(fields);
    auto* binding = new QGroupBox(Q(at::kBinding), frame_->form);
    binding->setObjectName("GroupBoxAdminAccountBinding");
    auto* bindingLayout = new QFormLayout(binding);
    bindingLayout->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    customers_ = new QComboBox(binding);
    customers_->setObjectName("ComboBoxAdminAccountCustomer");
    contracts_ = new QComboBox(binding);
    contracts_->setObjectName("ComboBoxAdminAccountContract");
    customers_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    contracts_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    bindingLayout->addRow(Q(at::kCustomer), customers_);
    bindingLayout->addRow(Q(at::kContract), contracts_);
    form->addWidget(binding);
    form->addStretch(1);

    connect(frame_, &RegisterFrame::nodeChosen, this, &AccountsPage::Select);
    connect(frame_->addButton, &QToolButton::clicked, this, &AccountsPage::Add);
    connect(frame_->deleteButton, &QToolButton::clicked, this, &AccountsPage::Delete);
    connect(frame_->saveButton, &QPushButton::clicked, this, &AccountsPage::Save);
    connect(frame_->cancelButton, &QPushButton::clicked, this, &AccountsPage::Cancel);
    // Only the operator's choices run the rules, not the page filling the lists.
    connect(customers_, &QComboBox::activated, this, &AccountsPage::ChooseCustomer);
    connect(contracts_, &QComboBox::activated, this, &AccountsPage::ChooseContract);
    frame_->ShowPrompt();
}

void AccountsPage::Fill(QComboBox* list, const std::vector<admin::Row>& rows) {
    QSignalBlocker block(list);
    list->clear();
    for (const auto& row : rows) {
        list->addItem(Q(row.text), qlonglong{row.uid});
    }
    list->setCurrentIndex(-1);
}

int64_t AccountsPage::ChosenUid(const QComboBox* list) {
    return list->currentIndex() < 0 ? 0 : list->currentData().toLongLong();
}

void AccountsPage::Load() {
    auto* root = frame_->ResetTree(at::kRoot, PictureIcon(Picture::Folder));
    for (const auto& row : admin::LoadAccounts(storage::Database())) {
        frame_->AddChild(root, row.text, row.uid, PictureIcon(Picture::Account));
    }
    root->sortChildren(0, Qt::AscendingOrder);
    frame_->tree->expandAll();
    Cancel();
}

void AccountsPage::Select(QTreeWidgetItem* item) {
    if (item == nullptr) {
        return;
    }
    Guarded([&] {
        const int64_t uid = UidOf(item);
        frame_->addButton->setEnabled(uid == 0);
        frame_->deleteButton->setEnabled(uid != 0);
        if (uid == 0) {
            frame_->ShowPrompt();
            return;
        }
        frame_->header->setText(Q(at::kHeader));
        frame_->saveButton->setText(Q(admin::kModeSave));
        frame_->saveButton->setEnabled(false);
        frame_->cancelButton->setEnabled(true);
        number_->setEnabled(false);
        customers_->setEnabled(false);
        contracts_->setEnabled(false);
        Fill(customers_, {});
        Fill(contracts_, {});
        const auto view = admin::ReadAccount(storage::Database(), uid);
        if (view) {
            number_->setText(Q(view->number));
            if (view->customerUid > 0) {
                Fill(customers_, {{view->customerUid, view->customerName}});
                QSignalBlocker block(customers_);
                customers_->setCurrentIndex(0);
                if (view->contractUid > 0) {
                    Fill(contracts_, {{view->contractUid, view->contractName}});
                    QSignalBlocker blockContracts(contracts_);
                    contracts_->setCurrentIndex(0);
                    ChooseContract();
                }
            }
        } else {
            number_->clear();
        }
        frame_->ShowAttributes();
    });
}

void AccountsPage::Add() {
    Guarded([&] {
        frame_->header->setText(Q(at::kHeaderNew));
        frame_->addButton->setEnabled(false);
        number_->clear();
        number_->setEnabled(true);
        customers_->setEnabled(true);
        contracts_->setEnabled(true);
        auto& db = storage::Database();
        Fill(customers_, admin::LoadAllCustomers(db));
        Fill(contracts_, admin::LoadAllContracts(db));
        frame_->saveButton->setText(Q(admin::kModeAdd));
        frame_->saveButton->setEnabled(true);
        frame_->ShowAttributes();
        number_->setFocus();
    });
}

void AccountsPage::ChooseCustomer() {
    Guarded([&] {
        const int64_t customer = ChosenUid(customers_);
        Fill(contracts_, customer == 0 ? std::vector<admin::Row>{}
                                       : admin::LoadContractsOf(storage::Database(), customer));
    });
}

void AccountsPage::ChooseContract() {
    Guarded([&] {
        const int64_t contract = ChosenUid(contracts_);
        if (contract == 0) {
            return;
        }
        const int64_t customer = admin::CustomerOfContract(storage::Database(), contract);
        QSignalBlocker block(customers_);
        customers_->setCurrentIndex(customers_->findData(qlonglong{customer}));
    });
}

void AccountsPage::Save() {
    Guarded([&] {
        if (frame_->saveButton->text() != Q(admin::kModeAdd)) {
            return;
        }
        const std::string number = S(number_->text());
        const int64_t uid = admin::AddAccount(storage::Database(), ChosenUid(customers_),
                                              ChosenUid(contracts_), number);
        auto* item = frame_->AddChild(frame_->Root(), number, uid, PictureIcon(Picture::Account));
        frame_->SelectQuietly(item);
        Select(item);
    });
}

void AccountsPage::Delete() {
    Guarded([&] {
        QTreeWidgetItem* item = frame_->tree->currentItem();
        if (item == nullptr || UidOf(item) == 0) {
            return;
        }
        admin::DeleteAccount(storage::Database(), UidOf(item));
        delete item;
        Cancel();
    });
}

void AccountsPage::Cancel() {
    frame_->ReturnToRoot();
}

}  // namespace zb::app
