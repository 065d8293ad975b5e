#pragma once
// The periodic work removal page: the periodic works found in the mirrors, by library work,
// the concentrators, and the upload of DeleteFile commands for the chosen pairs.
#include <QListWidget>
#include <QPushButton>

#include "app/page.h"
#include "work/periodic_removal.h"

namespace zb::app {

class PeriodicPage : public Page {
    Q_OBJECT
  public:
    explicit PeriodicPage(QWidget* parent = nullptr);
    bool RefreshOnF5() const override { return true; }

  public slots:
    void WorksClicked();
    void CtrClicked();
    void UpLoad();

  protected:
    void Load() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QListWidget* works_;
    QListWidget* ctrs_;
    QPushButton* upLoad_;
    work::PeriodicWorks periodic_;
};

}  // namespace zb::app
