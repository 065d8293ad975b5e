#pragma once
// A page of the family of name registers: customers, categories, balance groups, providers.
#include <QComboBox>
#include <QLineEdit>
#include <vector>

#include "admin/reference.h"
#include "app/register_page.h"

namespace zb::app {

class FamilyPage : public RegisterPage {
    Q_OBJECT
  public:
    // `prefix` names the controls ("AdminCustomer" gives TreeViewAdminCustomer, ...).
    FamilyPage(const admin::FamilyRegister& reg, const QString& prefix, QWidget* parent = nullptr);

  private:
    void FillTree(QTreeWidgetItem* root) override;
    void ShowRecord(int64_t uid) override;
    std::optional<Node> StoreRecord(int64_t uid) override;
    bool DeleteRecord(int64_t uid) override;

    QIcon NodeIcon(int64_t typeCode) const;
    void DrawTypePicture();
    admin::FamilyRecord ReadForm() const;

    const admin::FamilyRegister& reg_;
    // The type list (customers only; null otherwise).
    QComboBox* type_ = nullptr;
    // The text fields in the register's order.
    std::vector<QLineEdit*> fields_;
};

}  // namespace zb::app
