#include "app/register_page.h"

#include <QVBoxLayout>

#include "admin/common.h"
#include "app/pictures.h"

namespace zb::app {

RegisterPage::RegisterPage(const RegisterTexts& texts, const QString& prefix, QWidget* parent)
    : Page(texts.caption, "Page" + prefix, parent), texts_(texts) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    frame_ = new RegisterFrame(prefix, texts.prompt, texts.addHint, texts.deleteHint, this);
    layout->addWidget(frame_);
    // The root's text names the tree for a screen reader.
    frame_->tree->setAccessibleName(Q(texts.rootText));
    form_ = new QVBoxLayout(frame_->form);
    form_->setContentsMargins(0, 8, 0, 0);
    connect(frame_, &RegisterFrame::nodeChosen, this, &RegisterPage::Select);
    connect(frame_->addButton, &QToolButton::clicked, this, &RegisterPage::Add);
    connect(frame_->deleteButton, &QToolButton::clicked, this, &RegisterPage::Delete);
    connect(frame_->saveButton, &QPushButton::clicked, this, &RegisterPage::Save);
    connect(frame_->cancelButton, &QPushButton::clicked, this, &RegisterPage::Cancel);
    frame_->ShowPrompt();
}

QFormLayout* RegisterPage::AddFieldRows() {
    auto* rows = new QFormLayout();
    rows->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    form_->addLayout(rows);
    return rows;
}

void RegisterPage::Load() {
    FillTree(frame_->ResetTree(texts_.rootText, PictureIcon(Picture::Folder)));
    SortTree();
    frame_->tree->expandAll();
    Cancel();
}

void RegisterPage::Select(QTreeWidgetItem* item) {
    if (item == nullptr) {
        return;
    }
    Guarded([&] {
        // The page's rules read the chosen node from the tree.
        if (frame_->tree->currentItem() != item) {
            frame_->SelectQuietly(item);
        }
        const int64_t uid = UidOf(item);
        EnableTools(item);
        frame_->saveButton->setText(Q(admin::kModeSave));
        frame_->saveButton->setEnabled(true);
        if (uid == 0) {
            ForgetRecord();
            frame_->ShowPrompt();
            return;
        }
        frame_->header->setText(Q(texts_.editHeader));
        frame_->ShowAttributes();
        ShowRecord(uid);
    });
}

void RegisterPage::EnableTools(const QTreeWidgetItem* item) {
    frame_->addButton->setEnabled(UidOf(item) == 0);
    frame_->deleteButton->setEnabled(UidOf(item) != 0);
}

QTreeWidgetItem* RegisterPage::Chosen() const {
    QTreeWidgetItem* item = frame_->tree->currentItem();
    return item != nullptr ? item : frame_->Root();
}

int RegisterPage::Level(const QTreeWidgetItem* item) {
    int level = 0;
    for (; item != nullptr && item->parent() != nullptr; item = item->parent()) {
        ++level;
    }
    return level;
}

void RegisterPage::Add() {
    StartAdding(frame_->addButton);
}

void RegisterPage::StartAdding(QToolButton* button) {
    Guarded([&] {
        frame_->header->setText(Q(texts_.newHeader));
        button->setEnabled(false);
        frame_->saveButton->setText(Q(admin::kModeAdd));
        frame_->saveButton->setEnabled(true);
        frame_->ShowAttributes();
        ShowRecord(0);
    });
}

void RegisterPage::Save() {
    Guarded([&] {
        const bool adding = frame_->saveButton->text() == Q(admin::kModeAdd);
        QTreeWidgetItem* item = adding ? nullptr : frame_->tree->currentItem();
        if (!adding && UidOf(item) == 0) {
            return;
        }
        const auto node = StoreRecord(UidOf(item));
        if (!node) {
            return;
        }
        if (adding) {
            item = PlaceNewNode(*node);
            frame_->SelectQuietly(item);
            RecordAdded(*node);
        } else {
            item->setText(0, Q(node->text));
            if (!node->icon.isNull()) {
                item->setIcon(0, node->icon);
            }
            SortTree();
        }
        Select(item);
    });
}

QTreeWidgetItem* RegisterPage::PlaceNewNode(const Node& node) {
    return frame_->AddChild(frame_->Root(), node.text, node.uid, node.icon);
}

void RegisterPage::SortTree() {
    if (texts_.sorted && frame_->Root() != nullptr) {
        frame_->Root()->sortChildren(0, Qt::AscendingOrder);
    }
}

void RegisterPage::Delete() {
    Guarded([&] {
        QTreeWidgetItem* item = frame_->tree->currentItem();
        if (item == nullptr || UidOf(item) == 0) {
            return;
        }
        if (!DeleteRecord(UidOf(item))) {
            Cancel();
            return;
        }
        QTreeWidgetItem* parent = item->parent();
        const int position = parent->indexOfChild(item);
        delete item;
        if (QTreeWidgetItem* next = NodeAfterDelete(parent, position)) {
            frame_->SelectQuietly(next);
            Select(next);
        } else {
            Cancel();
        }
    });
}

void RegisterPage::Cancel() {
    ForgetRecord();
    frame_->ReturnToRoot();
}

}  // namespace zb::app
