#include "app/work_dispatch_page.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/pictures.h"
#include "app/shell_texts.h"
#include "app/work_library_page.h"
#include "app/xml_window.h"
#include "base/program.h"
#include "storage/sqlite_database.h"
#include "work/work_library.h"

namespace zb::app {

namespace {

constexpr const char* kRootText = "Библиотека заданий";
constexpr const char* kUpLoadHint = "Загрузить задание";

QListWidget* SelectionList(const QString& name, QWidget* parent) {
    auto* list = new QListWidget(parent);
    list->setObjectName(name);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    return list;
}

void AddItem(QListWidget* list, const std::string& text, int64_t uid) {
    auto* item = new QListWidgetItem(Q(text), list);
    item->setData(kUidRole, qlonglong{uid});
}

std::vector<bool> SelectedFlags(const QListWidget* list) {
    std::vector<bool> flags;
    for (int i = 0; i < list->count(); ++i) {
        flags.push_back(list->item(i)->isSelected());
    }
    return flags;
}

void SelectAll(QListWidget* list) {
    for (int i = 0; i < list->count(); ++i) {
        list->item(i)->setSelected(true);
    }
}

int64_t ItemUid(const QListWidget* list, int row) {
    return list->item(row)->data(kUidRole).toLongLong();
}

}  // namespace

WorkDispatchPage::WorkDispatchPage(std::function<int64_t()> operatorUid, QWidget* parent)
    : Page(texts::kUpLoad, "PageWorkUpLoad", parent), operatorUid_(std::move(operatorUid)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    tree_ = new QTreeWidget(this);
    tree_->setObjectName("TreeViewWork");
    tree_->setAccessibleName(Q(kRootText));
    tree_->setHeaderHidden(true);
    tree_->setMinimumWidth(240);
    tree_->setMaximumWidth(360);
    layout->addWidget(tree_, 2);

    right_ = new QStackedWidget(this);
    prompt_ = new PromptPanel(texts::kPromptUpLoad, "PanelWorkUpLoadPrompt", right_);
    panel_ = new QWidget(right_);
    panel_->setObjectName("PanelWorkUpLoad");
    auto* panelLayout = new QVBoxLayout(panel_);
    auto* lists = new QHBoxLayout();
    ctrList_ = SelectionList("ListBoxWorkCtr", panel_);
    meterList_ = SelectionList("ListBoxWorkMeter", panel_);
    const std::pair<const char*, QListWidget*> columns[] = {{"Концентраторы", ctrList_},
                                                            {"Счётчики", meterList_}};
    for (const auto& [caption, list] : columns) {
        auto* column = new QVBoxLayout();
        auto* label = new QLabel(Q(caption), panel_);
        label->setBuddy(list);
        // Item views do not take their names from a buddy label.
        list->setAccessibleName(Q(caption));
        column->addWidget(label);
        column->addWidget(list, 1);
        lists->addLayout(column, 1);
    }
    panelLayout->addLayout(lists, 1);
    auto* categoryRow = new QHBoxLayout();
    category_ = new QComboBox(panel_);
    category_->setObjectName("ComboBoxWorkCustomGroup");
    auto* categoryLabel = new QLabel("Категория точек учёта", panel_);
    categoryLabel->setBuddy(category_);
    categoryRow->addWidget(categoryLabel);
    categoryRow->addWidget(category_, 1);
    panelLayout->addLayout(categoryRow);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    showXml_ = new QPushButton("ShowXML", panel_);
    showXml_->setObjectName("ButtonWorkShowXML");
    upLoad_ = new QPushButton("UpLoad", panel_);
    upLoad_->setObjectName("ButtonWorkUpLoad");
    upLoad_->setToolTip(Q(kUpLoadHint));
    upLoad_->setEnabled(false);
    buttons->addWidget(showXml_);
    buttons->addWidget(upLoad_);
    panelLayout->addLayout(buttons);
    right_->addWidget(prompt_);
    right_->addWidget(panel_);
    layout->addWidget(right_, 5);

    connect(tree_, &QTreeWidget::itemClicked, this, &WorkDispatchPage::Select);
    connect(ctrList_, &QListWidget::itemSelectionChanged, this,
            &WorkDispatchPage::CtrSelectionChanged);
    connect(meterList_, &QListWidget::itemSelectionChanged, this,
            &WorkDispatchPage::MeterSelectionChanged);
    connect(category_, &QComboBox::activated, this, &WorkDispatchPage::CategoryChanged);
    connect(upLoad_, &QPushButton::clicked, this, &WorkDispatchPage::UpLoad);
    connect(showXml_, &QPushButton::clicked, this, &WorkDispatchPage::ShowXml);
}

void WorkDispatchPage::Load() {
    Guarded([this] {
        auto& db = storage::Database();
        {
            const QSignalBlocker block(tree_);
            tree_->clear();
            auto* root = new QTreeWidgetItem(tree_, QStringList{Q(kRootText)});
            root->setData(0, kUidRole, qlonglong{0});
            root->setIcon(0, PictureIcon(Picture::Folder));
            for (const work::LibraryWork& work : work::LoadWorkLibrary(db)) {
                auto* node = new QTreeWidgetItem(root, QStringList{Q(work.node.text)});
                node->setData(0, kUidRole, qlonglong{work.node.uid});
                node->setIcon(
                    0, PictureIcon(work.tasks.empty() ? Picture::Work : Picture::WorkWithTasks));
                for (const work::LibraryNode& task : work.tasks) {
                    auto* leaf = new QTreeWidgetItem(node, QStringList{Q(task.text)});
                    leaf->setData(0, kUidRole, qlonglong{task.uid});
                    leaf->setIcon(0, PictureIcon(Picture::Task));
                }
            }
            tree_->expandAll();
        }
        {
            const QSignalBlocker block(ctrList_);
            ctrList_->clear();
            AddItem(ctrList_, work::kAllConcentrators, 0);
            for (const work::ListItem& ctr : work::DispatchConcentrators(db)) {
                AddItem(ctrList_, ctr.text, ctr.uid);
            }
        }
        ResetMeterList({});
        category_->clear();
        category_->addItem(Q(work::kAllCategories), qlonglong{0});
        for (const work::ListItem& group : work::DispatchCategories(db)) {
            category_->addItem(Q(group.text), qlonglong{group.uid});
        }
    });
    upLoad_->setEnabled(false);
    right_->setCurrentWidget(prompt_);
}

void WorkDispatchPage::ResetMeterList(const std::vector<work::ListItem>& meters) {
    const QSignalBlocker block(meterList_);
    meterList_->clear();
    AddItem(meterList_, work::kAllMeters, 0);
    for (const work::ListItem& meter : meters) {
        AddItem(meterList_, meter.text, meter.uid);
    }
}

int64_t WorkDispatchPage::SelectedWork() const {
    const auto selected = tree_->selectedItems();
    if (selected.size() != 1 || selected[0]->parent() == nullptr ||
        selected[0]->parent()->parent() != nullptr) {
        return 0;
    }
    return UidOf(selected[0]);
}

void WorkDispatchPage::Select(QTreeWidgetItem* item) {
    if (item == nullptr) {
        return;
    }
    const bool isWork = item->parent() != nullptr && item->parent()->parent() == nullptr;
    upLoad_->setEnabled(isWork);
    if (!isWork) {
        right_->setCurrentWidget(prompt_);
        return;
    }
    {
        const QSignalBlocker block(ctrList_);
        ctrList_->clearSelection();
    }
    {
        const QSignalBlocker block(meterList_);
        meterList_->clear();
    }
    right_->setCurrentWidget(panel_);
}

void WorkDispatchPage::CtrSelectionChanged() {
    Guarded([this] {
        category_->setCurrentIndex(0);
        if (work::SelectsEveryConcentrator(SelectedFlags(ctrList_))) {
            const QSignalBlocker block(ctrList_);
            SelectAll(ctrList_);
        }
        const auto selected = ctrList_->selectedItems();
        const bool one = selected.size() == 1 && ctrList_->row(selected[0]) != 0;
        ResetMeterList(one ? work::DispatchMeters(storage::Database(),
                                                  selected[0]->data(kUidRole).toLongLong())
                           : std::vector<work::ListItem>{});
        {
            const QSignalBlocker block(meterList_);
            meterList_->item(0)->setSelected(true);
        }
        MeterSelectionChanged();
    });
    CategoryChanged();
}

void WorkDispatchPage::MeterSelectionChanged() {
    if (work::SelectsEveryMeter(SelectedFlags(meterList_))) {
        const QSignalBlocker block(meterList_);
        SelectAll(meterList_);
    }
}

void WorkDispatchPage::CategoryChanged() {
    const int64_t work = SelectedWork();
    if (work == 0 || ctrList_->count() == 0 || ctrList_->item(0)->isSelected() ||
        meterList_->count() == 0) {
        return;
    }
    Guarded([&] {
        auto& db = storage::Database();
        const std::set<int64_t> matching = work::MatchingMeterUids(
            db, category_->currentData().toLongLong(), work::BuildSyntaxFilter(db, work));
        const QSignalBlocker block(meterList_);
        meterList_->clearSelection();
        bool every = true;
        for (int i = 1; i < meterList_->count(); ++i) {
            const bool match = matching.contains(ItemUid(meterList_, i));
            meterList_->item(i)->setSelected(match);
            every = every && match;
        }
        meterList_->item(0)->setSelected(every);
    });
}

work::DispatchChoice WorkDispatchPage::Choice() const {
    work::DispatchChoice choice;
    choice.workLibUid = SelectedWork();
    choice.allConcentrators = ctrList_->count() > 0 && ctrList_->item(0)->isSelected();
    for (int i = 1; i < ctrList_->count(); ++i) {
        if (ctrList_->item(i)->isSelected()) {
            choice.concentrators.push_back(ItemUid(ctrList_, i));
        }
    }
    choice.meterItems = meterList_->count();
    choice.allMeters = meterList_->count() > 0 && meterList_->item(0)->isSelected();
    for (int i = 1; i < meterList_->count(); ++i) {
        if (meterList_->item(i)->isSelected()) {
            choice.meters.push_back({ItemUid(meterList_, i), S(meterList_->item(i)->text())});
        }
    }
    choice.categoryUid = category_->currentData().toLongLong();
    return choice;
}

void WorkDispatchPage::UpLoad() {
    const work::DispatchChoice choice = Choice();
    if (choice.workLibUid == 0) {
        return;
    }
    Guarded([&] {
        const work::UploadOutcome outcome = work::UploadWork(
            storage::Database(), base::Program().programDir, operatorUid_(), choice);
        if (outcome.refused) {
            base::Messages().Warning(work::kNoRequestsWarning);
        }
    });
}

void WorkDispatchPage::ShowXml() {
    const work::DispatchChoice choice = Choice();
    if (choice.workLibUid == 0) {
        return;
    }
    Guarded([&] {
        if (const auto text = work::PreviewWorkFile(storage::Database(), choice)) {
            ShowXmlWindow(this, Q(texts::kUpLoad), Q(*text));
        }
    });
}

}  // namespace zb::app
