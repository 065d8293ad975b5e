#pragma once
// A page of the family of name registers: customers, categories, balance groups, providers.
#include <QComboBox>
#include <QLineEdit>
#include <vector>

#include "admin/reference.h"
#include "app/page.h"
#include "app/widgets.h"

namespace zb::app {

class FamilyPage : public Page {
    Q_OBJECT
  public:
    // `prefix` names the controls ("AdminCustomer" gives TreeViewAdminCustomer, ...).
    FamilyPage(const admin::FamilyRegister& reg, const QString& prefix, QWidget* parent = nullptr);

    RegisterFrame* frame() const { return frame_; }
    // The type list (customers only; null otherwise).
    QComboBox* typeList() const { return type_; }
    // The text fields in the register's order.
    const std::vector<QLineEdit*>& fields() const { return fields_; }

  public slots:
    void Select(QTreeWidgetItem* item);
    void Add();
    void Save();
    void Delete();
    void Cancel();

  protected:
    void Load() override;

  private:
    QIcon NodeIcon(int64_t typeCode) const;
    void DrawTypePicture();
    admin::FamilyRecord ReadForm() const;
    void SortTree();

    const admin::FamilyRegister& reg_;
    RegisterFrame* frame_;
    QComboBox* type_ = nullptr;
    std::vector<QLineEdit*> fields_;
};

}  // namespace zb::app
