#pragma once
// The statistics page: the works dispatched in a period, and for a chosen work its measuring
// points sorted into DONE, FAIL and UNKNOWN, a meter's answers with value hints and a chart of
// an archive read, the meter's stored information, the work's XML and the export to CSV.
#include <QCalendarWidget>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <functional>
#include <vector>

#include "app/meter_attributes_tabs.h"
#include "app/page.h"
#include "stats/work_stats.h"

QT_BEGIN_NAMESPACE
class QChartView;
QT_END_NAMESPACE

namespace zb::app {

class StatPage : public Page {
    Q_OBJECT
  public:
    explicit StatPage(QWidget* parent = nullptr);

    MeterAttributesTabs* meterTabs() const { return meterTabs_; }

    // Where the export writes: asks the operator by default; tests give a file name.
    using FileChooser = std::function<QString(const QString& suggested)>;
    void SetExportFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }

  public slots:
    void ShowWork();
    void ShowMeter(int listIndex);
    void ShowXml();
    void Export();
    void PlotRow(int row);

  protected:
    void Load() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* BuildTop();
    QWidget* BuildDetails();
    void ClearMeter();
    int64_t SelectedWork() const;

    QCalendarWidget* from_;
    QCalendarWidget* to_;
    QTableWidget* works_;
    QPushButton* show_;
    QPushButton* showXml_;
    QPushButton* export_;
    QStackedWidget* stack_;
    QWidget* details_;
    QLabel* header_;
    QGroupBox* groups_[3];
    QListWidget* lists_[3];
    QGroupBox* resultGroup_;
    QTabWidget* resultTabs_;
    QTableWidget* results_;
    QChartView* chart_;
    MeterAttributesTabs* meterTabs_;
    std::vector<stats::ResultRow> shownResults_;
    int64_t currentWork_ = 0;
    FileChooser chooseFile_;
};

}  // namespace zb::app
