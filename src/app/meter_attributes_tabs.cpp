#include "app/meter_attributes_tabs.h"

#include "app/widgets.h"

namespace zb::app {

MeterAttributesTabs::MeterAttributesTabs(const QString& prefix, QWidget* parent)
    : QTabWidget(parent) {
    setObjectName("PageControl" + prefix + "Attr");
    setAccessibleName(Q("Атрибуты счётчика"));
    basic_ = MakeValueList("ValueListEditor" + prefix + "InfoBasic", "Параметр", "Значение", this);
    archive_ =
        MakeValueList("ValueListEditor" + prefix + "InfoArch", "Параметр", "Свойства архива", this);
    profile_ =
        MakeValueList("ValueListEditor" + prefix + "Profile", "Тип объекта", "Название", this);
    const std::pair<QTableWidget*, const char*> tabs[] = {
        {basic_, "Основные"}, {archive_, "Архивы"}, {profile_, "Профиль"}};
    for (const auto& [list, caption] : tabs) {
        list->setAccessibleName(Q(caption));
        addTab(list, Q(caption));
    }
}

void MeterAttributesTabs::Show(const inbound::MeterAttributes& attributes) {
    ShowInformation(attributes);
    FillValueList(profile_, attributes.profile);
    if (!attributes.profileError.empty()) {
        base::Messages().Error(attributes.profileError);
    }
}

void MeterAttributesTabs::ShowInformation(const inbound::MeterAttributes& attributes) {
    shownBasic_ = attributes.basic;
    FillValueList(basic_, attributes.basic);
    FillValueList(archive_, attributes.archive);
}

void MeterAttributesTabs::Clear() {
    shownBasic_.clear();
    basic_->setRowCount(0);
    archive_->setRowCount(0);
    profile_->setRowCount(0);
}

void MeterAttributesTabs::OnProfileReceived(const QString& /*ctrId*/, const QString& projectId,
                                            const QString& profileId,
                                            const zb::base::KeyValueRows& rows) {
    if (!shownBasic_.empty() && inbound::ProfileMatches(shownBasic_, S(projectId), S(profileId))) {
        FillValueList(profile_, rows);
    }
}

}  // namespace zb::app
