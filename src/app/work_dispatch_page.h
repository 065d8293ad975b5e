#pragma once
// The dispatch page: a library work, the concentrators and meters it goes to, an optional
// category, the upload and the preview of the work file. The rules live in work/dispatch.h.
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidget>
#include <functional>

#include "app/page.h"
#include "app/widgets.h"
#include "work/dispatch.h"

namespace zb::app {

class WorkDispatchPage : public Page {
    Q_OBJECT
  public:
    // `operatorUid` gives the UID of the operator logged in (recorded with every upload).
    WorkDispatchPage(std::function<int64_t()> operatorUid, QWidget* parent = nullptr);
    bool RefreshOnF5() const override { return true; }

    // What the lists say now.
    work::DispatchChoice Choice() const;

  public slots:
    void Select(QTreeWidgetItem* item);
    void CtrSelectionChanged();
    void MeterSelectionChanged();
    void CategoryChanged();
    void UpLoad();
    void ShowXml();

  protected:
    void Load() override;

  private:
    // The UID of the selected work node; 0 when no work is selected.
    int64_t SelectedWork() const;
    void ResetMeterList(const std::vector<work::ListItem>& meters);

    std::function<int64_t()> operatorUid_;
    QTreeWidget* tree_;
    QStackedWidget* right_;
    PromptPanel* prompt_;
    QWidget* panel_;
    QListWidget* ctrList_;
    QListWidget* meterList_;
    QComboBox* category_;
    QPushButton* upLoad_;
    QPushButton* showXml_;
};

}  // namespace zb::app
