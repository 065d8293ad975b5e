#include "app/stat_page.h"

#include <QDateTimeAxis>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLineSeries>
#include <QMouseEvent>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QtCharts/QChartView>
#include <algorithm>
#include <fstream>

#include "app/shell_texts.h"
#include "app/xml_window.h"
#include "base/operator_messages.h"
#include "base/program.h"
#include "inbound/meter_attributes.h"
#include "stats/results_export.h"
#include "storage/sqlite_database.h"
#include "storage/time_stamp.h"

namespace zb::app {
namespace {

constexpr const char* kListNames[3] = {"DONE", "FAIL", "UNKNOWN"};
constexpr int kHintLongMs = 10000;

QTableWidget* MakeGrid(QWidget* parent, const QString& name, const QStringList& captions,
                       const std::vector<int>& widths) {
    auto* grid = new QTableWidget(0, static_cast<int>(captions.size()), parent);
    grid->setObjectName(name);
    grid->setHorizontalHeaderLabels(captions);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->verticalHeader()->hide();
    grid->horizontalHeader()->setStretchLastSection(true);
    // A column is never narrower than its caption: "Счётчиков" or "Результат" cut short would
    // leave the operator guessing what the column holds.
    for (size_t i = 0; i < widths.size(); ++i) {
        if (widths[i] > 0) {
            const int column = static_cast<int>(i);
            grid->setColumnWidth(
                column, std::max(widths[i], grid->horizontalHeader()->sectionSizeHint(column)));
        }
    }
    return grid;
}

QTableWidgetItem* Cell(const std::string& text) {
    return new QTableWidgetItem(Q(text));
}

QDateTime DateTimeOfStamp(int64_t stamp) {
    const base::LocalDateTime t = storage::LocalDateTimeOfStamp(stamp);
    return QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second));
}

void ClearChart(QChart* chart) {
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;  // a removed axis is the caller's
    }
}

base::LocalDateTime DayOf(const QDate& date) {
    return base::LocalDateTime{date.year(), date.month(), date.day()};
}

}  // namespace

StatPage::StatPage(QWidget* parent) : Page(texts::kStat, "PageWorkStat", parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(BuildTop());
    stack_ = new QStackedWidget(this);
    stack_->setObjectName("PageControlWorkStat");
    auto* prompt = new PromptPanel(texts::kPromptStat, "PanelWorkStatHint", stack_);
    details_ = BuildDetails();
    stack_->addWidget(prompt);
    stack_->addWidget(details_);
    layout->addWidget(stack_, 1);
    chooseFile_ = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(this, Q("Экспорт CSV"), suggested, Q("CSV (*.csv)"));
    };
}

QWidget* StatPage::BuildTop() {
    auto* top = new QWidget(this);
    auto* row = new QHBoxLayout(top);
    row->setContentsMargins(0, 0, 0, 0);
    auto addCalendar = [&](const char* caption, const QString& name) {
        auto* column = new QVBoxLayout();
        auto* label = new QLabel(Q(caption), top);
        auto* calendar = new QCalendarWidget(top);
        calendar->setObjectName(name);
        calendar->setAccessibleName(Q(caption));
        calendar->setGridVisible(false);
        calendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
        calendar->setFixedSize(250, 170);
        label->setBuddy(calendar);
        column->addWidget(label);
        column->addWidget(calendar);
        column->addStretch(1);
        row->addLayout(column);
        // A chosen day lists the works of the new period.
        connect(calendar, &QCalendarWidget::clicked, this, [this] { RunLoader(); });
        return calendar;
    };
    from_ = addCalendar("Выберите начало периода", "MonthCalendarWorkStatFrom");
    to_ = addCalendar("Выберите конец периода", "MonthCalendarWorkStatTo");

    auto* right = new QVBoxLayout();
    works_ = MakeGrid(
        top, "StringGridWorkStat",
        {Q("##"), Q("Дата/Время"), Q("Название"), Q("Оператор"), Q("Запросов"), Q("Счётчиков")},
        {40, 120, 0, 0, 64, 64});
    works_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    works_->horizontalHeader()->setStretchLastSection(false);
    works_->setAccessibleName(Q("Задания"));
    right->addWidget(works_, 1);
    auto* buttons = new QHBoxLayout();
    show_ = new QPushButton(Q("Показать"), top);
    show_->setObjectName("ButtonWorkStatShow");
    showXml_ = new QPushButton(Q("ShowXML"), top);
    showXml_->setObjectName("ButtonWorkStatShowXML");
    export_ = new QPushButton(Q("Экспорт CSV"), top);
    export_->setObjectName("ButtonWorkStatExport");
    export_->setToolTip(Q("Сохранить результаты показанного задания в файл CSV"));
    for (auto* b : {show_, showXml_, export_}) {
        b->setEnabled(false);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    right->addLayout(buttons);
    row->addLayout(right, 1);
    top->setFixedHeight(210);

    connect(works_, &QTableWidget::itemClicked, this, [this] {
        show_->setEnabled(true);
        showXml_->setEnabled(true);
    });
    connect(works_, &QTableWidget::itemDoubleClicked, this, [this] { ShowWork(); });
    connect(show_, &QPushButton::clicked, this, &StatPage::ShowWork);
    connect(showXml_, &QPushButton::clicked, this, &StatPage::ShowXml);
    connect(export_, &QPushButton::clicked, this, &StatPage::Export);
    return top;
}

QWidget* StatPage::BuildDetails() {
    auto* details = new QWidget(this);
    auto* layout = new QVBoxLayout(details);
    layout->setContentsMargins(0, 0, 0, 0);
    header_ = new QLabel(Q("Задание"), details);
    header_->setObjectName("LabelWorkStatWork");
    QFont bold = header_->font();
    bold.setBold(true);
    header_->setFont(bold);
    layout->addWidget(header_);

    auto* listsRow = new QHBoxLayout();
    for (int i = 0; i < 3; ++i) {
        groups_[i] = new QGroupBox(Q(kListNames[i]), details);
        groups_[i]->setObjectName(QString("GroupBoxWorkStat") + kListNames[i]);
        auto* box = new QVBoxLayout(groups_[i]);
        lists_[i] = new QListWidget(groups_[i]);
        lists_[i]->setObjectName(QString("ListBoxWorkStat") + kListNames[i]);
        lists_[i]->setAccessibleName(Q(kListNames[i]));
        box->addWidget(lists_[i]);
        connect(lists_[i], &QListWidget::itemClicked, this, [this, i] { ShowMeter(i); });
        // DONE and UNKNOWN take a third of the row each; FAIL the rest.
        listsRow->addWidget(groups_[i], 1);
    }
    layout->addLayout(listsRow, 2);

    auto* lower = new QHBoxLayout();
    resultGroup_ = new QGroupBox(Q("RESULT"), details);
    resultGroup_->setObjectName("GroupBoxWorkStatResult");
    auto* resultBox = new QVBoxLayout(resultGroup_);
    resultTabs_ = new QTabWidget(resultGroup_);
    resultTabs_->setObjectName("PageControlWorkStatResult");
    results_ =
        MakeGrid(resultTabs_, "StringGridWorkStatResult",
                 {Q("Запрос"), Q("Операция"), Q("Результат"), Q("Значение")}, {180, 60, 60, 120});
    results_->setAccessibleName(Q("RESULT"));
    results_->setMouseTracking(true);
    results_->viewport()->installEventFilter(this);
    connect(results_, &QTableWidget::currentCellChanged, this, [this](int row) { PlotRow(row); });
    resultTabs_->addTab(results_, Q("Запросы"));
    chart_ = new QChartView(new QChart(), resultTabs_);
    chart_->setObjectName("ChartViewWorkStat");
    chart_->setAccessibleName(Q("График"));
    chart_->setRenderHint(QPainter::Antialiasing);
    chart_->chart()->legend()->hide();
    resultTabs_->addTab(chart_, Q("График"));
    resultTabs_->setTabEnabled(1, false);
    resultBox->addWidget(resultTabs_);
    lower->addWidget(resultGroup_, 3);

    meterTabs_ = new MeterAttributesTabs("WorkStatMeter", details);
    lower->addWidget(meterTabs_, 2);
    layout->addLayout(lower, 3);
    return details;
}

void StatPage::Load() {
    works_->setRowCount(0);
    const auto rows =
        stats::ListWorks(storage::Database(),
                         stats::PeriodOf(DayOf(from_->selectedDate()), DayOf(to_->selectedDate())));
    works_->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const auto& w = rows[r];
        auto* number = Cell(std::to_string(w.uid));
        number->setData(Qt::UserRole, qint64{w.uid});
        works_->setItem(r, 0, number);
        works_->setItem(r, 1, Cell(w.dateTime));
        works_->setItem(r, 2, Cell(w.name));
        works_->setItem(r, 3, Cell(w.operatorName));
        works_->setItem(r, 4, Cell(std::to_string(w.taskCount)));
        works_->setItem(r, 5, Cell(std::to_string(w.meterTotal)));
    }
    works_->clearSelection();
    show_->setEnabled(false);
    showXml_->setEnabled(false);
    stack_->setCurrentIndex(0);
}

int64_t StatPage::SelectedWork() const {
    const auto selected = works_->selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        return 0;
    }
    return works_->item(selected.first().row(), 0)->data(Qt::UserRole).toLongLong();
}

void StatPage::ClearMeter() {
    resultGroup_->setTitle(Q("RESULT"));
    results_->setRowCount(0);
    shownResults_.clear();
    PlotRow(-1);
    meterTabs_->Clear();
    meterTabs_->setCurrentIndex(0);
    resultTabs_->setCurrentIndex(0);
}

void StatPage::ShowWork() {
    const int64_t work = SelectedWork();
    if (work == 0) {
        return;
    }
    currentWork_ = work;
    header_->setText(Q("Задание #" + std::to_string(work)));
    // The lists never keep another work's meters, even when reading this one fails.
    for (int i = 0; i < 3; ++i) {
        lists_[i]->clear();
        groups_[i]->setTitle(Q(kListNames[i]));
    }
    Guarded([this, work] {
        const stats::WorkMeters meters = stats::ReadWorkMeters(storage::Database(), work);
        const std::vector<stats::MeterItem>* items[3] = {&meters.done, &meters.fail,
                                                         &meters.unknown};
        for (int i = 0; i < 3; ++i) {
            for (const auto& item : *items[i]) {
                auto* entry = new QListWidgetItem(Q(item.text), lists_[i]);
                entry->setData(Qt::UserRole, qint64{item.measuringPointUid});
            }
            groups_[i]->setTitle(QString("%1 = %2").arg(kListNames[i]).arg(items[i]->size()));
        }
    });
    ClearMeter();
    export_->setEnabled(true);
    stack_->setCurrentWidget(details_);
}

void StatPage::ShowMeter(int listIndex) {
    for (int i = 0; i < 3; ++i) {
        if (i != listIndex) {
            lists_[i]->clearSelection();
        }
    }
    ClearMeter();
    QListWidgetItem* item = lists_[listIndex]->currentItem();
    if (item == nullptr) {
        return;
    }
    const int64_t point = item->data(Qt::UserRole).toLongLong();
    Guarded([&] {
        meterTabs_->Show(
            inbound::ReadMeterAttributes(storage::Database(), base::Program().programDir, point));
    });
    if (listIndex == 2) {
        resultGroup_->setTitle(Q("RESULT.UNKNOWN"));
        return;
    }
    resultGroup_->setTitle(
        QString("RESULT.%1.%2, запросы").arg(kListNames[listIndex], item->text()));
    Guarded([&] {
        shownResults_ = stats::ReadMeterResults(
            storage::Database(), currentWork_, point,
            listIndex == 0 ? stats::MeterList::Done : stats::MeterList::Fail);
    });
    results_->setRowCount(static_cast<int>(shownResults_.size()));
    int firstArchive = -1;
    for (int r = 0; r < static_cast<int>(shownResults_.size()); ++r) {
        const auto& row = shownResults_[r];
        results_->setItem(r, 0, Cell(row.request));
        results_->setItem(r, 1, Cell(row.opCode));
        results_->setItem(r, 2, Cell(row.result));
        results_->setItem(r, 3, Cell(stats::ValueCellText(row.value)));
        if (firstArchive < 0 && !row.points.empty()) {
            firstArchive = r;
        }
    }
    results_->clearSelection();
    PlotRow(firstArchive);
}

void StatPage::PlotRow(int row) {
    QChart* chart = chart_->chart();
    if (row < 0 || row >= static_cast<int>(shownResults_.size()) ||
        shownResults_[row].points.empty()) {
        // Another row keeps the archive plotted last, until the meter changes.
        if (shownResults_.empty()) {
            ClearChart(chart);
            chart->setTitle({});
            resultTabs_->setTabEnabled(1, false);
        }
        return;
    }
    ClearChart(chart);
    auto* series = new QLineSeries();
    double low = shownResults_[row].points.front().value;
    double high = low;
    for (const auto& p : shownResults_[row].points) {
        series->append(static_cast<qreal>(DateTimeOfStamp(p.stamp).toMSecsSinceEpoch()), p.value);
        low = std::min(low, p.value);
        high = std::max(high, p.value);
    }
    chart->addSeries(series);
    auto* x = new QDateTimeAxis();
    x->setFormat("dd.MM HH:mm");
    chart->addAxis(x, Qt::AlignBottom);
    series->attachAxis(x);
    auto* y = new QValueAxis();
    y->setRange(low, high > low ? high : low + 1);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(y);
    chart->setTitle(Q(shownResults_[row].request));
    resultTabs_->setTabEnabled(1, true);
}

bool StatPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched != results_->viewport()) {
        return Page::eventFilter(watched, event);
    }
    if (event->type() == QEvent::Leave) {
        QToolTip::hideText();
    } else if (event->type() == QEvent::MouseMove || event->type() == QEvent::ToolTip) {
        // The value cell of the row under the mouse, its lines restored, shown at once for ten
        // seconds; elsewhere no hint.
        const QPoint at = event->type() == QEvent::ToolTip
                              ? static_cast<QHelpEvent*>(event)->pos()
                              : static_cast<QMouseEvent*>(event)->position().toPoint();
        const int row = results_->rowAt(at.y());
        QTableWidgetItem* value = row >= 0 ? results_->item(row, 3) : nullptr;
        if (value == nullptr || value->text().isEmpty()) {
            QToolTip::hideText();
        } else {
            QString hint = Q(stats::ValueHintText(S(value->text())));
            hint.replace("\r\n", "\n");
            QToolTip::showText(results_->viewport()->mapToGlobal(at), hint, results_->viewport(),
                               {}, kHintLongMs);
        }
        return event->type() == QEvent::ToolTip;
    }
    return Page::eventFilter(watched, event);
}

void StatPage::ShowXml() {
    const int64_t work = SelectedWork();
    if (work == 0) {
        return;
    }
    Guarded([this, work] {
        if (const auto xml = stats::WorkXml(storage::Database(), work)) {
            ShowXmlWindow(this, "XML", Q(*xml));
        }
    });
}

void StatPage::Export() {
    if (currentWork_ == 0) {
        return;
    }
    const QString file = chooseFile_(QString("work-%1.csv").arg(currentWork_));
    if (file.isEmpty()) {
        return;
    }
    Guarded([&] {
        std::ofstream out(file.toStdString(), std::ios::binary | std::ios::trunc);
        stats::ExportWorkCsv(storage::Database(), currentWork_, out);
        out.close();
        if (!out) {
            throw std::runtime_error("Не удалось записать файл " + S(file));
        }
    });
}

}  // namespace zb::app
