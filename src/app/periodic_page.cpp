#include "app/periodic_page.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <set>

#include "app/shell_texts.h"
#include "base/program.h"
#include "storage/sqlite_database.h"

namespace zb::app {
namespace {

QListWidget* MakeList(QWidget* parent, QHBoxLayout* row, const char* caption, const QString& name) {
    auto* column = new QVBoxLayout();
    auto* label = new QLabel(Q(caption), parent);
    auto* list = new QListWidget(parent);
    list->setObjectName(name);
    list->setSelectionMode(QAbstractItemView::MultiSelection);
    label->setBuddy(list);
    list->setAccessibleName(Q(caption));
    column->addWidget(label);
    column->addWidget(list, 1);
    row->addLayout(column, 1);
    list->viewport()->installEventFilter(parent);
    return list;
}

}  // namespace

PeriodicPage::PeriodicPage(QWidget* parent) : Page(texts::kDelete, "PageWorkDelete", parent) {
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout();
    works_ = MakeList(this, row, "Задания", "ListBoxWorkDelete");
    works_->setSortingEnabled(true);
    ctrs_ = MakeList(this, row, "Концентраторы", "ListBoxWorkDeleteCtr");
    layout->addLayout(row, 1);
    auto* buttons = new QHBoxLayout();
    upLoad_ = new QPushButton("UpLoad", this);
    upLoad_->setObjectName("ButtonWorkDeleteUpLoad");
    upLoad_->setToolTip(Q("Загрузить команду на удаление"));
    upLoad_->setEnabled(false);
    buttons->addStretch(1);
    buttons->addWidget(upLoad_);
    layout->addLayout(buttons);
    connect(works_, &QListWidget::itemClicked, this, &PeriodicPage::WorksClicked);
    connect(ctrs_, &QListWidget::itemClicked, this, &PeriodicPage::CtrClicked);
    connect(upLoad_, &QPushButton::clicked, this, &PeriodicPage::UpLoad);
}

void PeriodicPage::Load() {
    works_->clear();
    ctrs_->clear();
    periodic_ = work::FillPeriodicWorks(storage::Database(), base::Program().programDir);
    for (const auto& ctr : periodic_.concentrators) {
        auto* item = new QListWidgetItem(Q(ctr.text), ctrs_);
        item->setData(kUidRole, qint64{ctr.uid});
    }
    for (const auto& name : periodic_.workNames) {
        works_->addItem(Q(name));
    }
}

void PeriodicPage::WorksClicked() {
    std::set<std::string> names;
    for (const auto* item : works_->selectedItems()) {
        names.insert(S(item->text()));
    }
    const auto uids = work::ConcentratorsRunning(periodic_, names);
    ctrs_->clearSelection();
    for (int i = 0; i < ctrs_->count(); ++i) {
        ctrs_->item(i)->setSelected(uids.count(ctrs_->item(i)->data(kUidRole).toLongLong()) != 0);
    }
}

void PeriodicPage::CtrClicked() {
    std::set<int64_t> uids;
    for (const auto* item : ctrs_->selectedItems()) {
        uids.insert(item->data(kUidRole).toLongLong());
    }
    const auto names = work::WorksOn(periodic_, uids);
    works_->clearSelection();
    for (int i = 0; i < works_->count(); ++i) {
        works_->item(i)->setSelected(names.count(S(works_->item(i)->text())) != 0);
    }
}

void PeriodicPage::UpLoad() {
    std::vector<int64_t> uids;
    for (int i = 0; i < ctrs_->count(); ++i) {
        if (ctrs_->item(i)->isSelected()) {
            uids.push_back(ctrs_->item(i)->data(kUidRole).toLongLong());
        }
    }
    std::vector<std::string> names;
    for (int i = 0; i < works_->count(); ++i) {
        if (works_->item(i)->isSelected()) {
            names.push_back(S(works_->item(i)->text()));
        }
    }
    Guarded([&] {
        work::QueueWithdrawals(base::Program().programDir,
                               work::PlanWithdrawals(periodic_, uids, names));
    });
}

bool PeriodicPage::eventFilter(QObject* watched, QEvent* event) {
    // A click beside the items of either list clears both selections.
    if (event->type() == QEvent::MouseButtonPress &&
        (watched == works_->viewport() || watched == ctrs_->viewport())) {
        auto* list = watched == works_->viewport() ? works_ : ctrs_;
        if (list->itemAt(static_cast<QMouseEvent*>(event)->position().toPoint()) == nullptr) {
            works_->clearSelection();
            ctrs_->clearSelection();
            return true;
        }
    }
    return Page::eventFilter(watched, event);
}

}  // namespace zb::app
