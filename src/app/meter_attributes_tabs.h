#pragma once
// The three tables of the meter attributes view in tabs: "Основные" (basic information),
// "Архивы" (archives) and "Профиль" (profile). The measuring points register and the statistics
// page each hold one; the prefix names the controls ("AdminMeter" gives
// PageControlAdminMeterAttr, ValueListEditorAdminMeterInfoBasic, ...InfoArch, ...Profile).
#include <QString>
#include <QTabWidget>
#include <QTableWidget>

#include "inbound/meter_attributes.h"

namespace zb::app {

class MeterAttributesTabs : public QTabWidget {
    Q_OBJECT
  public:
    explicit MeterAttributesTabs(const QString& prefix, QWidget* parent = nullptr);

    // Shows all three tables; a profile that could not be read to its end shows the rows read
    // and the reason in an error box.
    void Show(const inbound::MeterAttributes& attributes);
    // Refills basic and archive information only (the meter list brought new values).
    void ShowInformation(const inbound::MeterAttributes& attributes);
    // Empties the three tables.
    void Clear();

  public slots:
    // The profile-received event: when the basic information shown names this profile, the
    // profile table takes the rows.
    void OnProfileReceived(const QString& ctrId, const QString& projectId, const QString& profileId,
                           const zb::base::KeyValueRows& rows);

  private:
    QTableWidget* basic_;
    QTableWidget* archive_;
    QTableWidget* profile_;
    inbound::KeyValueRows shownBasic_;
};

}  // namespace zb::app
