#pragma once
// The operators page: the register of the people who may log in.
#include <QLineEdit>

#include "app/register_page.h"

namespace zb::app {

class OperatorsPage : public RegisterPage {
    Q_OBJECT
  public:
    explicit OperatorsPage(QWidget* parent = nullptr);

  private:
    void FillTree(QTreeWidgetItem* root) override;
    // A name is fixed once added; the built-in administrator keeps its login and stays.
    void ShowRecord(int64_t uid) override;
    std::optional<Node> StoreRecord(int64_t uid) override;
    bool DeleteRecord(int64_t uid) override;

    QLineEdit* name_;
    QLineEdit* login_;
    QLineEdit* password_;
};

}  // namespace zb::app
