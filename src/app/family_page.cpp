#include "app/family_page.h"

#include <QFormLayout>
#include <QVBoxLayout>

#include "app/pictures.h"
#include "storage/sqlite_database.h"

namespace zb::app {

namespace {

Picture RegisterPicture(const admin::FamilyRegister& reg) {
    const std::string table = reg.table;
    if (table == "CustomGroup") {
        return Picture::Category;
    }
    if (table == "Balance") {
        return Picture::Balance;
    }
    return Picture::Provider;
}

}  // namespace

FamilyPage::FamilyPage(const admin::FamilyRegister& reg, const QString& prefix, QWidget* parent)
    : Page(reg.caption, "Page" + prefix, parent), reg_(reg) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    frame_ = new RegisterFrame(prefix, reg.prompt, reg.addHint, reg.deleteHint, this);
    layout->addWidget(frame_);

    auto* form = new QVBoxLayout(frame_->form);
    form->setContentsMargins(0, 8, 0, 0);
    auto* fields = new QFormLayout();
    fields->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    fields->setRowWrapPolicy(QFormLayout::WrapLongRows);
    if (reg.hasType) {
        type_ = new QComboBox(frame_->form);
        type_->setObjectName("ComboBox" + prefix + "Type");
        for (const char* type : admin::kCustomerTypes) {
            type_->addItem(Q(type));
        }
        fields->addRow(Q(reg.typeLabel), type_);
        connect(type_, &QComboBox::currentIndexChanged, this, [this] { DrawTypePicture(); });
    } else {
        frame_->header->setPicture(PicturePixmap(RegisterPicture(reg), 32));
    }
    for (const auto& field : reg.fields) {
        auto* edit = new QLineEdit(frame_->form);
        edit->setObjectName("LabeledEdit" + prefix + Q(field.column));
        fields->addRow(Q(field.label), edit);
        fields_.push_back(edit);
    }
    form->addLayout(fields);
    form->addStretch(1);

    connect(frame_, &RegisterFrame::nodeChosen, this, &FamilyPage::Select);
    connect(frame_->addButton, &QToolButton::clicked, this, &FamilyPage::Add);
    connect(frame_->deleteButton, &QToolButton::clicked, this, &FamilyPage::Delete);
    connect(frame_->saveButton, &QPushButton::clicked, this, &FamilyPage::Save);
    connect(frame_->cancelButton, &QPushButton::clicked, this, &FamilyPage::Cancel);
    frame_->ShowPrompt();
}

QIcon FamilyPage::NodeIcon(int64_t typeCode) const {
    return PictureIcon(reg_.hasType ? CustomerPicture(typeCode) : RegisterPicture(reg_));
}

void FamilyPage::DrawTypePicture() {
    if (type_ != nullptr) {
        frame_->header->setPicture(PicturePixmap(CustomerPicture(type_->currentIndex()), 32));
    }
}

admin::FamilyRecord FamilyPage::ReadForm() const {
    admin::FamilyRecord record;
    record.typeCode = type_ != nullptr ? std::max(0, type_->currentIndex()) : 0;
    for (auto* edit : fields_) {
        record.texts.push_back(S(edit->text()));
    }
    return record;
}

void FamilyPage::SortTree() {
    if (auto* root = frame_->Root()) {
        root->sortChildren(0, Qt::AscendingOrder);
    }
}

void FamilyPage::Load() {
    auto* root = frame_->ResetTree(reg_.rootText, PictureIcon(Picture::Folder));
    for (const auto& row : admin::LoadFamily(storage::Database(), reg_)) {
        frame_->AddChild(root, row.name, row.uid, NodeIcon(row.typeCode));
    }
    SortTree();
    frame_->tree->expandAll();
    Cancel();
}

void FamilyPage::Select(QTreeWidgetItem* item) {
    if (item == nullptr) {
        return;
    }
    Guarded([&] {
        const int64_t uid = UidOf(item);
        frame_->addButton->setEnabled(uid == 0);
        frame_->deleteButton->setEnabled(uid != 0);
        if (uid != 0) {
            frame_->header->setText(Q(reg_.editHeader));
            const auto record = admin::ReadFamilyRecord(storage::Database(), reg_, uid);
            if (type_ != nullptr) {
                type_->setCurrentIndex(admin::CustomerTypeIndexOf(record ? record->typeCode : 0));
            }
            for (size_t i = 0; i < fields_.size(); ++i) {
                fields_[i]->setText(record && i < record->texts.size() ? Q(record->texts[i])
                                                                       : QString());
            }
            DrawTypePicture();
            frame_->ShowAttributes();
        } else {
            frame_->ShowPrompt();
        }
        frame_->saveButton->setText(Q(admin::kModeSave));
        frame_->saveButton->setEnabled(true);
    });
}

void FamilyPage::Add() {
    frame_->header->setText(Q(reg_.addHeader));
    frame_->addButton->setEnabled(false);
    if (type_ != nullptr) {
        type_->setCurrentIndex(0);
    }
    for (auto* edit : fields_) {
        edit->clear();
    }
    frame_->saveButton->setText(Q(admin::kModeAdd));
    frame_->saveButton->setEnabled(true);
    frame_->ShowAttributes();
    if (type_ != nullptr) {
        type_->setFocus();
    } else {
        fields_.front()->setFocus();
    }
    DrawTypePicture();
}

void FamilyPage::Save() {
    Guarded([&] {
        const auto record = ReadForm();
        auto& db = storage::Database();
        if (frame_->saveButton->text() == Q(admin::kModeAdd)) {
            const auto result = admin::AddFamilyRecord(db, reg_, record);
            if (!result.added()) {
                base::Messages().Warning(result.warning);
                return;
            }
            auto* item = frame_->AddChild(frame_->Root(), record.texts.at(0), result.uid,
                                          NodeIcon(record.typeCode));
            frame_->SelectQuietly(item);
            Select(item);
            return;
        }
        QTreeWidgetItem* item = frame_->tree->currentItem();
        if (item == nullptr || UidOf(item) == 0) {
            return;
        }
        item->setText(0, Q(record.texts.at(0)));
        item->setIcon(0, NodeIcon(record.typeCode));
        admin::UpdateFamilyRecord(db, reg_, UidOf(item), record);
        Select(item);
        SortTree();
    });
}

void FamilyPage::Delete() {
    Guarded([&] {
        QTreeWidgetItem* item = frame_->tree->currentItem();
        if (item == nullptr || UidOf(item) == 0) {
            return;
        }
        admin::DeleteFamilyRecord(storage::Database(), reg_, UidOf(item));
        delete item;
        Cancel();
    });
}

void FamilyPage::Cancel() {
    frame_->ReturnToRoot();
}

}  // namespace zb::app
