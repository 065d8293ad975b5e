#include "app/measuring_points_page.h"

#include <QEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

#include "app/pictures.h"
#include "base/program.h"
#include "storage/sqlite_database.h"

namespace zb::app {

namespace mt = admin::mp_texts;

MeasuringPointsPage::MeasuringPointsPage(QWidget* parent)
    : Page(mt::kCaption, "PageAdminMP", parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    frame_ = new RegisterFrame("AdminMeter", mt::kPrompt, "", "", this);
    frame_->tree->setAccessibleName(Q(mt::kRoot));
    // Measuring points are neither added nor deleted here.
    frame_->addButton->hide();
    frame_->deleteButton->hide();
    delete frame_->cancelButton;
    frame_->cancelButton = nullptr;
    frame_->header->setPicture(PicturePixmap(Picture::Concentrator, 32));
    layout->addWidget(frame_);

    auto* above = new QVBoxLayout(frame_->aboveRight);
    above->setContentsMargins(0, 0, 0, 0);
    above->addWidget(BuildGridPanel());
    frame_->aboveRight->show();
    auto* form = new QVBoxLayout(frame_->form);
    form->setContentsMargins(0, 4, 0, 0);
    form->addWidget(BuildMeterPanel());

    connect(frame_, &RegisterFrame::nodeChosen, this, &MeasuringPointsPage::ChooseCtr);
    connect(grid_, &QTableWidget::cellClicked, this, &MeasuringPointsPage::ChooseMeter);
    connect(grid_, &QTableWidget::cellChanged, this, &MeasuringPointsPage::CellEdited);
    // Moving to a chosen column with the keyboard opens the chooser as a click does.
    connect(grid_, &QTableWidget::currentCellChanged, this, [this](int row, int column) {
        if (grid_->hasFocus() && QGuiApplication::mouseButtons() == Qt::NoButton) {
            ShowChooser(row, column);
        }
    });
    connect(chooser_, &QComboBox::activated, this, &MeasuringPointsPage::ChooserPicked);
    connect(frame_->saveButton, &QPushButton::clicked, this, &MeasuringPointsPage::Save);
    connect(refresh_, &QPushButton::clicked, this, &MeasuringPointsPage::RefreshMeter);
    connect(delete_, &QPushButton::clicked, this, &MeasuringPointsPage::DeleteMeter);
    frame_->ShowPrompt();
}

QWidget* MeasuringPointsPage::BuildGridPanel() {
    auto* panel = new QWidget(frame_->aboveRight);
    panel->setObjectName("PanelAdminMeterGrid");
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* title = new QLabel(Q(mt::kGridTitle), panel);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    grid_ = new QTableWidget(0, admin::kMeterColumns, panel);
    grid_->setObjectName("StringGridAdminMeter");
    title->setBuddy(grid_);
    grid_->setAccessibleName(Q(mt::kGridTitle));
    QStringList captions;
    for (const char* caption : admin::kMeterCaptions) {
        captions << Q(caption);
    }
    grid_->setHorizontalHeaderLabels(captions);
    grid_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int column = 0; column < static_cast<int>(std::size(admin::kMeterWidths)); ++column) {
        grid_->setColumnWidth(column, admin::kMeterWidths[column]);
    }
    grid_->verticalHeader()->hide();
    grid_->verticalHeader()->setDefaultSectionSize(22);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::AnyKeyPressed);

    chooser_ = new QComboBox(grid_->viewport());
    chooser_->setObjectName("ComboBoxAdminMeter");
    chooser_->setAccessibleName(Q(mt::kGridTitle));
    chooser_->setEditable(false);
    chooser_->hide();
    chooser_->installEventFilter(this);

    frame_->buttonRow->removeWidget(frame_->saveButton);
    frame_->saveButton->setParent(panel);
    frame_->saveButton->setText(Q(mt::kSave));
    frame_->saveButton->setToolTip(Q(mt::kSaveHint));
    frame_->saveButton->setEnabled(false);
    auto* buttons = new QHBoxLayout();
    buttons->addWidget(frame_->saveButton);
    buttons->addStretch(1);
    layout->addWidget(title);
    layout->addWidget(grid_, 1);
    layout->addLayout(buttons);
    return panel;
}

QWidget* MeasuringPointsPage::BuildMeterPanel() {
    auto* group = new QGroupBox(Q(mt::kReadGroup), frame_->form);
    group->setObjectName("GroupBoxAdminMeterAttr");
    auto* layout = new QVBoxLayout(group);
    attributes_ = new MeterAttributesTabs("AdminMeter", group);
    layout->addWidget(attributes_, 1);
    refresh_ = new ModifierButton(Q(mt::kRefresh), "ButtonAdminMeterRefresh", group);
    refresh_->setToolTip(DisplayText(mt::kRefreshHint));
    delete_ = new ModifierButton(Q(mt::kDelete), "ButtonAdminMeterDelete", group);
    delete_->setToolTip(DisplayText(mt::kDeleteHint));
    auto* buttons = new QHBoxLayout();
    buttons->addWidget(refresh_);
    buttons->addWidget(delete_);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    return group;
}

void MeasuringPointsPage::Load() {
    Guarded([&] {
        auto* root = frame_->ResetTree(mt::kRoot, PictureIcon(Picture::Folder));
        for (const auto& row : admin::LoadMeterCtrs(storage::Database())) {
            frame_->AddChild(root, row.text, row.uid, PictureIcon(Picture::Concentrator));
        }
        frame_->tree->expandAll();
        HideChooser();
        frame_->ShowPrompt();
        rows_.clear();
        FillGrid();
        frame_->SelectQuietly(root);
        ChooseCtr(root);
    });
}

void MeasuringPointsPage::ResetMeterPanel() {
    frame_->header->setText(Q(mt::kMeterHeader));
    frame_->header->tag = 0;
    attributes_->setCurrentIndex(0);
    attributes_->Clear();
    refresh_->setEnabled(false);
    delete_->setEnabled(false);
    frame_->saveButton->setEnabled(false);
    HideChooser();
}

void MeasuringPointsPage::ChooseCtr(QTreeWidgetItem* item) {
    if (item == nullptr) {
        return;
    }
    ResetMeterPanel();
    const int64_t uid = UidOf(item);
    rows_.clear();
    if (uid == 0) {
        FillGrid();
        frame_->ShowPrompt();
        return;
    }
    Guarded([&] { rows_ = admin::LoadMeterRows(storage::Database(), uid); });
    FillGrid();
    grid_->clearSelection();
}

void MeasuringPointsPage::FillGrid() {
    filling_ = true;
    grid_->clearContents();
    grid_->setRowCount(static_cast<int>(rows_.size()));
    for (int row = 0; row < static_cast<int>(rows_.size()); ++row) {
        for (int column = 0; column < admin::kMeterColumns; ++column) {
            const std::string& text =
                column == admin::kColAddress ? rows_[row].ShownAddress() : rows_[row].cells[column];
            auto* item = new QTableWidgetItem(Q(text));
            if (!admin::IsTypedColumn(column)) {
                item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            }
            grid_->setItem(row, column, item);
        }
    }
    filling_ = false;
}

void MeasuringPointsPage::SetCellText(int row, int column, const std::string& text) {
    filling_ = true;
    grid_->item(row, column)->setText(Q(text));
    filling_ = false;
}

void MeasuringPointsPage::ChooseMeter(int row, int column) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) {
        return;
    }
    const int shownColumn = std::max(column, static_cast<int>(admin::kColName));
    grid_->setCurrentCell(row, shownColumn);
    frame_->header->setText(Q(std::string(mt::kMeterHeader) + " "));
    const admin::MeterRow& meter = rows_[row];
    if (meter.uid != 0) {
        frame_->header->setText(Q(std::string(mt::kMeterHeader) + " " + meter.cells[1]));
        frame_->ShowAttributes();
        refresh_->setEnabled(true);
        delete_->setEnabled(true);
        frame_->header->tag = meter.uid;
        Guarded([&] {
            attributes_->Show(inbound::ReadMeterAttributes(storage::Database(),
                                                           base::Program().programDir, meter.uid));
        });
    }
    ShowChooser(row, shownColumn);
}

void MeasuringPointsPage::ShowChooser(int row, int column) {
    if (row < 0 || row >= static_cast<int>(rows_.size()) || rows_[row].uid == 0 ||
        !admin::IsChosenColumn(column)) {
        return;
    }
    std::vector<admin::Row> items;
    Guarded([&] { items = admin::ChooserItems(storage::Database(), column); });
    // Only a cell that lies wholly inside the grid (8 pixels clear of its right and bottom
    // edges) is edited.
    const QModelIndex index = grid_->model()->index(row, column);
    grid_->scrollTo(index);
    const QRect cell = grid_->visualRect(index);
    const QRect inside = grid_->viewport()->rect().adjusted(0, 0, -8, -8);
    if (!inside.contains(cell)) {
        grid_->clearSelection();
        return;
    }
    {
        QSignalBlocker block(chooser_);
        chooser_->clear();
        for (const auto& item : items) {
            chooser_->addItem(Q(item.text), QVariant::fromValue<qlonglong>(item.uid));
        }
        chooser_->setCurrentIndex(chooser_->findText(Q(rows_[row].cells[column])));
    }
    chooserRow_ = row;
    chooserColumn_ = column;
    chooser_->setAccessibleName(Q(admin::kMeterCaptions[column]).trimmed());
    chooser_->setGeometry(cell);
    chooser_->show();
    chooser_->raise();
    chooser_->setFocus();
}

void MeasuringPointsPage::HideChooser() {
    if (!chooser_->isVisible()) {
        return;
    }
    chooser_->hide();
    chooserRow_ = chooserColumn_ = -1;
    // A click on the save button that ended the choice must still reach it.
    if (frame_->saveButton->underMouse()) {
        frame_->saveButton->setFocus();
    } else {
        grid_->setFocus();
    }
}

void MeasuringPointsPage::ChooserPicked(int index) {
    const int row = chooserRow_;
    const int column = chooserColumn_;
    if (index < 0 || row < 0 || row >= static_cast<int>(rows_.size())) {
        return;
    }
    admin::MeterRow& meter = rows_[row];
    meter.cells[column] = S(chooser_->itemText(index));
    if (column <= admin::kColBalance) {
        meter.BoundUid(column) = chooser_->itemData(index).toLongLong();
    }
    SetCellText(row, column, meter.cells[column]);
    MarkChanged(row);
    grid_->clearSelection();
    HideChooser();
}

bool MeasuringPointsPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == chooser_ && event->type() == QEvent::FocusOut &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
        HideChooser();
    }
    return Page::eventFilter(watched, event);
}

void MeasuringPointsPage::CellEdited(int row, int column) {
    if (filling_ || row < 0 || row >= static_cast<int>(rows_.size()) ||
        !admin::IsTypedColumn(column)) {
        return;
    }
    rows_[row].cells[column] = S(grid_->item(row, column)->text());
    MarkChanged(row);
}

void MeasuringPointsPage::MarkChanged(int row) {
    if (rows_[row].uid == 0) {
        return;
    }
    rows_[row].changed = true;
    SetCellText(row, admin::kColAddress, rows_[row].ShownAddress());
    frame_->saveButton->setEnabled(true);
}

void MeasuringPointsPage::ShowMarks() {
    bool anyChanged = false;
    for (int row = 0; row < static_cast<int>(rows_.size()); ++row) {
        SetCellText(row, admin::kColAddress, rows_[row].ShownAddress());
        anyChanged = anyChanged || rows_[row].changed;
    }
    frame_->saveButton->setEnabled(anyChanged);
}

void MeasuringPointsPage::Save() {
    HideChooser();
    // A failure stops the save where it was: rows saved before it lose their mark.
    Guarded([&] { admin::SaveChangedRows(storage::Database(), rows_); });
    ShowMarks();
}

void MeasuringPointsPage::RunMeterCommand(admin::MeterCommand command,
                                          const ModifierButton* button) {
    Guarded([&] {
        const auto outcome = admin::QueueMeterCommand(
            storage::Database(), base::Program().programDir, command,
            UidOf(frame_->tree->currentItem()), frame_->header->tag, button->AltHeld());
        if (!outcome.warning.empty()) {
            base::Messages().Warning(outcome.warning);
        }
    });
}

void MeasuringPointsPage::RefreshMeter() {
    RunMeterCommand(admin::MeterCommand::Refresh, refresh_);
}

void MeasuringPointsPage::DeleteMeter() {
    RunMeterCommand(admin::MeterCommand::Delete, delete_);
}

void MeasuringPointsPage::OnMeterValues(qint64 measuringPointUid) {
    if (measuringPointUid == 0 || frame_->header->tag != measuringPointUid) {
        return;
    }
    Guarded([&] {
        attributes_->ShowInformation(inbound::ReadMeterAttributes(
            storage::Database(), base::Program().programDir, measuringPointUid));
    });
}

}  // namespace zb::app
