#pragma once
// The personal accounts page: accounts bound to a customer and a contract. Accounts are added
// and deleted; an existing one is shown only.
#include <QComboBox>
#include <QLineEdit>

#include "admin/reference.h"
#include "app/register_page.h"

namespace zb::app {

class AccountsPage : public RegisterPage {
    Q_OBJECT
  public:
    explicit AccountsPage(QWidget* parent = nullptr);

  public slots:
    // The customer list changed: its contracts fill the contract list.
    void ChooseCustomer();
    // The contract list changed: the contract's customer becomes the selected customer.
    void ChooseContract();

  private:
    void FillTree(QTreeWidgetItem* root) override;
    void ShowRecord(int64_t uid) override;
    std::optional<Node> StoreRecord(int64_t uid) override;
    bool DeleteRecord(int64_t uid) override;

    static void Fill(QComboBox* list, const std::vector<admin::Row>& rows);
    static int64_t ChosenUid(const QComboBox* list);
    void SetEditable(bool editable);

    QLineEdit* number_;
    QComboBox* customers_;
    QComboBox* contracts_;
};

}  // namespace zb::app
