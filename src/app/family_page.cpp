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
    : RegisterPage({reg.caption, reg.prompt, reg.addHint, reg.deleteHint, reg.rootText,
                    reg.editHeader, reg.addHeader, /*sorted=*/true},
                   prefix, parent),
      reg_(reg) {
    auto* form = Form();
    auto* fields = AddFieldRows();
    fields->setRowWrapPolicy(QFormLayout::WrapLongRows);
    if (reg.hasType) {
        type_ = new QComboBox(frame()->form);
        type_->setObjectName("ComboBox" + prefix + "Type");
        for (const char* type : admin::kCustomerTypes) {
            type_->addItem(Q(type));
        }
        AddFieldRow(fields, Q(reg.typeLabel), type_);
        connect(type_, &QComboBox::currentIndexChanged, this, [this] { DrawTypePicture(); });
    } else {
        frame()->header->setPicture(PicturePixmap(RegisterPicture(reg), 32));
    }
    for (const auto& field : reg.fields) {
        auto* edit = new QLineEdit(frame()->form);
        edit->setObjectName("LabeledEdit" + prefix + Q(field.column));
        AddFieldRow(fields, Q(field.label), edit);
        fields_.push_back(edit);
    }
    form->addStretch(1);
}

QIcon FamilyPage::NodeIcon(int64_t typeCode) const {
    return PictureIcon(reg_.hasType ? CustomerPicture(typeCode) : RegisterPicture(reg_));
}

void FamilyPage::DrawTypePicture() {
    if (type_ != nullptr) {
        frame()->header->setPicture(PicturePixmap(CustomerPicture(type_->currentIndex()), 32));
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

void FamilyPage::FillTree(QTreeWidgetItem* root) {
    for (const auto& row : admin::LoadFamily(storage::Database(), reg_)) {
        frame()->AddChild(root, row.name, row.uid, NodeIcon(row.typeCode));
    }
}

void FamilyPage::ShowRecord(int64_t uid) {
    if (uid == 0) {  // a new row
        if (type_ != nullptr) {
            type_->setCurrentIndex(0);
        }
        for (auto* edit : fields_) {
            edit->clear();
        }
        if (type_ != nullptr) {
            type_->setFocus();
        } else {
            fields_.front()->setFocus();
        }
        DrawTypePicture();
        return;
    }
    const auto record = admin::ReadFamilyRecord(storage::Database(), reg_, uid);
    if (type_ != nullptr) {
        type_->setCurrentIndex(admin::CustomerTypeIndexOf(record ? record->typeCode : 0));
    }
    for (size_t i = 0; i < fields_.size(); ++i) {
        fields_[i]->setText(record && i < record->texts.size() ? Q(record->texts[i]) : QString());
    }
    DrawTypePicture();
}

std::optional<RegisterPage::Node> FamilyPage::StoreRecord(int64_t uid) {
    const auto record = ReadForm();
    auto& db = storage::Database();
    if (uid != 0) {
        // No duplicate check on a rename.
        admin::UpdateFamilyRecord(db, reg_, uid, record);
        return Node{record.texts.at(0), uid, NodeIcon(record.typeCode)};
    }
    const auto result = admin::AddFamilyRecord(db, reg_, record);
    if (!result.Added()) {
        base::Messages().Warning(result.warning);
        return std::nullopt;
    }
    return Node{record.texts.at(0), result.uid, NodeIcon(record.typeCode)};
}

bool FamilyPage::DeleteRecord(int64_t uid) {
    admin::DeleteFamilyRecord(storage::Database(), reg_, uid);
    return true;
}

}  // namespace zb::app
