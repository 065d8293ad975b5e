#pragma once
// The measuring points register: the concentrator tree, the grid of the chosen concentrator's
// measuring points with its value chooser and the save button, and the meter panel with the
// meter's three attribute tables and its refresh and delete commands. The rows, statements,
// chooser lists and command rules come from admin/measuring_points.h; this page shows them.
#include <QComboBox>
#include <QTableWidget>
#include <vector>

#include "admin/measuring_points.h"
#include "app/meter_attributes_tabs.h"
#include "app/page.h"
#include "app/widgets.h"

namespace zb::app {

class MeasuringPointsPage : public Page {
    Q_OBJECT
  public:
    explicit MeasuringPointsPage(QWidget* parent = nullptr);
    bool RefreshOnF5() const override { return true; }

    MeterAttributesTabs* attributes() const { return attributes_; }

  public slots:
    void ChooseCtr(QTreeWidgetItem* item);
    // A click released over a grid row.
    void ChooseMeter(int row, int column);
    void Save();
    void RefreshMeter();
    void DeleteMeter();
    // A meter list changed a measuring point: its information is shown again when it is the
    // point in the meter panel.
    void OnMeterValues(qint64 measuringPointUid);

  protected:
    void Load() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* BuildGridPanel();
    QWidget* BuildMeterPanel();
    void FillGrid();
    void ResetMeterPanel();
    void ShowChooser(int row, int column);
    void HideChooser();
    void ChooserPicked(int index);
    void CellEdited(int row, int column);
    void MarkChanged(int row);
    void ShowMarks();
    void SetCellText(int row, int column, const std::string& text);
    void RunMeterCommand(admin::MeterCommand command, const ModifierButton* button);

    RegisterFrame* frame_;
    QTableWidget* grid_;
    QComboBox* chooser_;
    ModifierButton* refresh_;
    ModifierButton* delete_;
    MeterAttributesTabs* attributes_;
    std::vector<admin::MeterRow> rows_;
    // While the page itself writes cells, their change is no edit.
    bool filling_ = false;
    int chooserRow_ = -1;
    int chooserColumn_ = -1;
};

}  // namespace zb::app
