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

    QTreeWidget* customerTree() const { return tree_; }
    QListWidget* contractList() const { return list_; }
    QLabel* listTitle() const { return listTitle_; }
    QToolButton* addButton() const { return add_; }
    QToolButton* deleteButton() const { return delete_; }
    QLineEdit* numberEdit() const { return number_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* cancelButton() const { return cancel_; }
    HeaderPanel* header() const { return header_; }
    bool PromptShown() const { return right_->currentWidget() == prompt_; }

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
    QToolButton* add_;
    QToolButton* delete_;
    QStackedWidget* right_;
    PromptPanel* prompt_;
    QWidget* attributes_;
    HeaderPanel* header_;
    QLineEdit* number_;
    QPushButton* save_;
    QPushButton* cancel_;
};

}  // namespace zb::app
