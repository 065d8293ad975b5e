#include "app/network_page.h"

#include <QHeaderView>
#include <QVBoxLayout>

#include "app/pictures.h"
#include "app/shell_texts.h"
#include "base/program.h"
#include "link/link_server.h"
#include "server/runtime.h"
#include "storage/sqlite_database.h"

namespace zb::app {

namespace {

constexpr const char* kColumnTitles[NetworkPage::ColumnCount] = {
    "ID",      "Примечания",      "На связи",         "Начало сеанса", "Конец сеанса",
    "Last IP", "Принято\nфайлов", "Передано\nфайлов", "Точек\nучёта",  "Список\nсчётчиков"};

// The role that holds what a cell sorts by (a number or a time), when that differs from its text.
constexpr int kSortRole = Qt::UserRole;
// On the ID cell: the index of the row in the page's rows.
constexpr int kRowRole = Qt::UserRole + 1;
// On the connected cell: the state its mark shows.
constexpr int kMarkRole = Qt::UserRole + 2;

class SortableItem : public QTableWidgetItem {
  public:
    using QTableWidgetItem::QTableWidgetItem;
    bool operator<(const QTableWidgetItem& other) const override {
        const QVariant mine = data(kSortRole);
        const QVariant theirs = other.data(kSortRole);
        if (mine.isValid() && theirs.isValid()) {
            return mine.toLongLong() < theirs.toLongLong();
        }
        if (mine.isValid() != theirs.isValid()) {
            return !mine.isValid();  // empty cells first
        }
        return text().localeAwareCompare(other.text()) < 0;
    }
};

QVariant SortKey(const std::optional<base::TimePoint>& moment) {
    return moment ? QVariant(static_cast<qlonglong>(
                        std::chrono::duration_cast<std::chrono::seconds>(moment->time_since_epoch())
                            .count()))
                  : QVariant();
}

// Sets a cell's text and sort key where they changed; returns the item.
QTableWidgetItem* SetCell(QTableWidget* table, int row, int column, const QString& text,
                          const QVariant& sortKey = {}) {
    QTableWidgetItem* item = table->item(row, column);
    if (item == nullptr) {
        item = new SortableItem();
        table->setItem(row, column, item);
    }
    if (item->text() != text) {
        item->setText(text);
    }
    if (item->data(kSortRole) != sortKey) {
        item->setData(kSortRole, sortKey);
    }
    return item;
}

}  // namespace

NetworkPage::NetworkPage(server::Runtime& runtime, QWidget* parent)
    : Page(texts::kNetwork, "PageAdminNetwork", parent), runtime_(runtime) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    summary_ = new QLabel(this);
    summary_->setObjectName("LabelAdminNetworkSummary");
    QFont f = summary_->font();
    f.setPointSize(12);
    f.setBold(true);
    summary_->setFont(f);
    summary_->setStyleSheet("color: #2b3a4f; padding: 4px 2px;");
    layout->addWidget(summary_);
    table_ = new QTableWidget(0, ColumnCount, this);
    table_->setObjectName("StringGridAdminNetwork");
    table_->setAccessibleName(Q(texts::kNetwork));
    QStringList titles;
    for (const char* title : kColumnTitles) {
        titles << Q(title);
    }
    table_->setHorizontalHeaderLabels(titles);
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setAlternatingRowColors(true);
    table_->setWordWrap(false);
    table_->verticalHeader()->setDefaultSectionSize(22);
    table_->horizontalHeader()->setSectionsClickable(true);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->sortByColumn(ColumnId, Qt::AscendingOrder);
    table_->setSortingEnabled(true);
    layout->addWidget(table_, 1);
}

void NetworkPage::Load() {
    rows_ = admin::LoadNetworkState(storage::Database(), base::Program().programDir);
    link::LinkServer* link = runtime_.Link();
    admin::ApplySessions(rows_, link != nullptr ? link->SessionFigures().Snapshot()
                                                : std::vector<link::CtrSessionFigures>{});
    Rebuild();
}

void NetworkPage::RefreshSessions(const std::vector<link::CtrSessionFigures>& sessions) {
    admin::ApplySessions(rows_, sessions);
    ShowSessions();
}

void NetworkPage::Rebuild() {
    table_->setSortingEnabled(false);
    table_->clearContents();
    table_->setRowCount(static_cast<int>(rows_.size()));
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
        const auto& row = rows_[static_cast<size_t>(i)];
        SetCell(table_, i, ColumnId, Q(row.id));
        table_->item(i, ColumnId)->setData(kRowRole, i);
        SetCell(table_, i, ColumnComment, Q(row.comment));
        SetCell(table_, i, ColumnPoints, QString::number(row.measuringPoints),
                static_cast<qlonglong>(row.measuringPoints))
            ->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    ShowSessions();
    table_->resizeColumnsToContents();
}

// Rewrites the session cells of every row in place; the sorting is suspended meanwhile, so that
// rows do not move under the loop, and applied again at the end.
void NetworkPage::ShowSessions() {
    table_->setSortingEnabled(false);
    for (int r = 0; r < table_->rowCount(); ++r) {
        const QTableWidgetItem* idItem = table_->item(r, ColumnId);
        const size_t index = static_cast<size_t>(idItem->data(kRowRole).toInt());
        if (index >= rows_.size()) {
            continue;
        }
        const auto& row = rows_[index];
        const auto& s = row.session;
        const bool connected = row.connected();
        QTableWidgetItem* mark =
            SetCell(table_, r, ColumnConnected, connected ? "да" : "нет", connected ? 1 : 0);
        if (mark->data(kMarkRole) != QVariant(connected)) {
            static const QIcon kMarks[2] = {StateMarkIcon(false), StateMarkIcon(true)};
            mark->setIcon(kMarks[connected ? 1 : 0]);
            mark->setData(kMarkRole, connected);
        }
        SetCell(table_, r, ColumnStart,
                Q(admin::MomentText(s ? std::optional(s->start) : std::nullopt)),
                SortKey(s ? std::optional(s->start) : std::nullopt));
        SetCell(table_, r, ColumnEnd, Q(admin::MomentText(s ? s->end : std::nullopt)),
                SortKey(s ? s->end : std::nullopt));
        SetCell(table_, r, ColumnIp, s ? Q(s->ip) : QString());
        for (const auto& [column, count] : {std::pair{ColumnFilesIn, s ? s->filesIn : -1},
                                            std::pair{ColumnFilesOut, s ? s->filesOut : -1}}) {
            SetCell(table_, r, column, count < 0 ? QString() : QString::number(count),
                    count < 0 ? QVariant() : QVariant(count))
                ->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        }
        SetCell(table_, r, ColumnMeterList, Q(admin::MomentText(row.meterListTime)),
                SortKey(row.meterListTime));
    }
    summary_->setText(
        Q(admin::NetworkSummaryText(admin::CountConnected(rows_), static_cast<int>(rows_.size()))));
    table_->setSortingEnabled(true);
}

}  // namespace zb::app
