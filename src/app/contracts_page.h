#pragma once
// The contracts page: customers on the left, the chosen customer's contracts in the middle, the
// contract number on the right. Contracts are added and deleted, never edited.
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

#include "app/page.h"
#include "app/widgets.h"

namespace zb::app {

class ContractsPage : public Page {
    Q_OBJECT
  public:
    explicit ContractsPage(QWidget* parent = nullptr);

  public slots:
    void ChooseCustomer(QTreeWidgetItem* item);
    void ChooseContract();
    void Add();
    void Save();
    void Delete();
    void Cancel();

  protected:
    void Load() override;

  private:
    QTreeWidget* tree_;
    QLabel* listTitle_;
    QListWidget* list_;
    AddDeleteBar* bar_;
    AttributesStack* right_;
    QLineEdit* number_;
};

}  // namespace zb::app
