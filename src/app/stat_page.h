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

    QCalendarWidget* fromCalendar() const { return from_; }
    QCalendarWidget* toCalendar() const { return to_; }
    QTableWidget* worksGrid() const { return works_; }
    QTableWidget* resultsGrid() const { return results_; }
    QListWidget* list(int index) const { return lists_[index]; }  // 0 DONE, 1 FAIL, 2 UNKNOWN
    QGroupBox* group(int index) const { return groups_[index]; }
    QGroupBox* resultGroup() const { return resultGroup_; }
    QTabWidget* resultTabs() const { return resultTabs_; }
    QTabWidget* meterTabs() const { return meterTabs_; }
    QChartView* chartView() const { return chart_; }
    QLabel* workHeader() const { return header_; }
    bool DetailsShown() const { return stack_->currentWidget() == details_; }
    int64_t currentWork() const { return currentWork_; }

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
    QTabWidget* meterTabs_;
    std::vector<stats::ResultRow> shownResults_;
    int64_t currentWork_ = 0;
    FileChooser chooseFile_;
};

}  // namespace zb::app
