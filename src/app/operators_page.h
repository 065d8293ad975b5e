#pragma once
// The operators page: the register of the people who may log in.
#include <QGroupBox>
#include <QLineEdit>

#include "app/page.h"
#include "app/widgets.h"

namespace zb::app {

class OperatorsPage : public Page {
    Q_OBJECT
  public:
    explicit OperatorsPage(QWidget* parent = nullptr);

    RegisterFrame* frame() const { return frame_; }
    QLineEdit* nameEdit() const { return name_; }
    QLineEdit* loginEdit() const { return login_; }
    QLineEdit* passwordEdit() const { return password_; }

  public slots:
    void Select(QTreeWidgetItem* item);
    void Add();
    void Save();
    void Delete();
    void Cancel();

  protected:
    void Load() override;

  private:
    RegisterFrame* frame_;
    QLineEdit* name_;
    QLineEdit* login_;
    QLineEdit* password_;
};

}  // namespace zb::app
