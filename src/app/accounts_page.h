#pragma once
// The personal accounts page: accounts bound to a customer and a contract. Accounts are added
// and deleted; an existing one is shown only.
#include <QComboBox>
#include <QLineEdit>

#include "admin/reference.h"
#include "app/page.h"
#include "app/widgets.h"

namespace zb::app {

class AccountsPage : public Page {
    Q_OBJECT
  public:
    explicit AccountsPage(QWidget* parent = nullptr);

    RegisterFrame* frame() const { return frame_; }
    QLineEdit* numberEdit() const { return number_; }
    QComboBox* customerList() const { return customers_; }
    QComboBox* contractList() const { return contracts_; }

  public slots:
    void Select(QTreeWidgetItem* item);
    void Add();
    // The customer list changed: its contracts fill the contract list.
    void ChooseCustomer();
    // The contract list changed: the contract's customer becomes the selected customer.
    void ChooseContract();
    void Save();
    void Delete();
    void Cancel();

  protected:
    void Load() override;

  private:
    static void Fill(QComboBox* list, const std::vector<admin::Row>& rows);
    static int64_t ChosenUid(const QComboBox* list);

    RegisterFrame* frame_;
    QLineEdit* number_;
    QComboBox* customers_;
    QComboBox* contracts_;
};

}  // namespace zb::app
