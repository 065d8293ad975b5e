#pragma once
// The network state page: one row per registered concentrator with its link state and last
// session, under the line "На связи: N из M". The register part is read when the page loads (its
// link, F5); the session part comes from the link's memory and is merged in every second while
// the page is in front, without a database statement.
#include <QLabel>
#include <QTableWidget>
#include <vector>

#include "admin/network_state.h"
#include "app/page.h"

namespace zb::server {
class Runtime;
}

namespace zb::app {

class NetworkPage : public Page {
    Q_OBJECT
  public:
    enum Column {
        ColumnId,
        ColumnComment,
        ColumnConnected,
        ColumnStart,
        ColumnEnd,
        ColumnIp,
        ColumnFilesIn,
        ColumnFilesOut,
        ColumnPoints,
        ColumnMeterList,
        ColumnCount
    };

    NetworkPage(server::Runtime& runtime, QWidget* parent = nullptr);
    bool RefreshOnF5() const override { return true; }

    // The one-second refresh: the link's figures merged into the rows shown.
    void RefreshSessions(const std::vector<link::CtrSessionFigures>& sessions);

  protected:
    void Load() override;

  private:
    void Rebuild();
    void ShowSessions();

    server::Runtime& runtime_;
    std::vector<admin::NetworkStateRow> rows_;
    QLabel* summary_;
    QTableWidget* table_;
};

}  // namespace zb::app
