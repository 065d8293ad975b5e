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

AccountsPage::AccountsPage(QWidget* parent)
    : RegisterPage({at::kCaption, at::kPrompt, at::kAddHint, at::kDeleteHint, at::kRoot,
                    at::kHeader, at::kHeaderNew, /*sorted=*/true},
                   "AdminAccount", parent) {
    frame()->header->setText(Q(at::kHeader));
    frame()->header->setPicture(PicturePixmap(Picture::Account, 32));

    auto* form = Form();
    auto* fields = AddFieldRows();
    number_ = new QLineEdit(frame()->form);
    number_->setObjectName("LabeledEditAdminAccountName");
    AddFieldRow(fields, Q(at::kNumberLabel), number_);
    auto* binding = new QGroupBox(Q(at::kBinding), frame()->form);
    binding->setObjectName("GroupBoxAdminAccountBinding");
    auto* bindingLayout = new QFormLayout(binding);
    bindingLayout->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    customers_ = new QComboBox(binding);
    customers_->setObjectName("ComboBoxAdminAccountCustomer");
    contracts_ = new QComboBox(binding);
    contracts_->setObjectName("ComboBoxAdminAccountContract");
    customers_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    contracts_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    AddFieldRow(bindingLayout, Q(at::kCustomer), customers_);
    AddFieldRow(bindingLayout, Q(at::kContract), contracts_);
    form->addWidget(binding);
    form->addStretch(1);

    // Only the operator's choices run the rules, not the page filling the lists.
    connect(customers_, &QComboBox::activated, this, &AccountsPage::ChooseCustomer);
    connect(contracts_, &QComboBox::activated, this, &AccountsPage::ChooseContract);
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

void AccountsPage::SetEditable(bool editable) {
    number_->setEnabled(editable);
    customers_->setEnabled(editable);
    contracts_->setEnabled(editable);
}

void AccountsPage::FillTree(QTreeWidgetItem* root) {
    for (const auto& row : admin::LoadAccounts(storage::Database())) {
        frame()->AddChild(root, row.text, row.uid, PictureIcon(Picture::Account));
    }
}

void AccountsPage::ShowRecord(int64_t uid) {
    if (uid == 0) {  // a new row
        number_->clear();
        SetEditable(true);
        auto& db = storage::Database();
        Fill(customers_, admin::LoadAllCustomers(db));
        Fill(contracts_, admin::LoadAllContracts(db));
        number_->setFocus();
        return;
    }
    // An account is shown only: nothing to save.
    frame()->saveButton->setEnabled(false);
    SetEditable(false);
    Fill(customers_, {});
    Fill(contracts_, {});
    const auto view = admin::ReadAccount(storage::Database(), uid);
    number_->setText(view ? Q(view->number) : QString());
    if (view && view->customerUid > 0) {
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

std::optional<RegisterPage::Node> AccountsPage::StoreRecord(int64_t uid) {
    if (uid != 0) {
        return std::nullopt;  // an account is shown only
    }
    const std::string number = S(number_->text());
    const int64_t added = admin::AddAccount(storage::Database(), ChosenUid(customers_),
                                            ChosenUid(contracts_), number);
    return Node{number, added, PictureIcon(Picture::Account)};
}

bool AccountsPage::DeleteRecord(int64_t uid) {
    admin::DeleteAccount(storage::Database(), uid);
    return true;
}

}  // namespace zb::app
