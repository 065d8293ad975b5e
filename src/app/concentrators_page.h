#pragma once
// The concentrators page: registers, edits and removes concentrators, shows what each last
// reported and its last address, queues a refresh of its attributes and opens its web page.
#include <QLineEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <string>

#include "app/register_page.h"
#include "link/session_registry.h"

namespace zb::server {
class Runtime;
}

namespace zb::app {

// Two arrow buttons that step the ID edit through 0000..9999.
class SpinButton : public QWidget {
    Q_OBJECT
  public:
    SpinButton(const QString& name, QWidget* parent = nullptr);

  signals:
    void stepped(bool up);
};

class ConcentratorsPage : public RegisterPage {
    Q_OBJECT
  public:
    ConcentratorsPage(server::Runtime& runtime, QWidget* parent = nullptr);

  public slots:
    void Refresh();
    void Open();
    void Spin(bool up);
    // A handshake recorded a concentrator's address: shown when the ID edit shows that ID.
    void OnLastAddress(const QString& ctrId, const QString& address);
    // A concentrator's InfoBasic or Profile changed: reread when it is the one shown.
    void OnValuesChanged(const QString& ctrId);
    // Marks the tree's connected concentrators (the status timer, every second).
    void ShowConnected(const std::vector<link::CtrSessionFigures>& sessions);

  private:
    void FillTree(QTreeWidgetItem* root) override;
    void ShowRecord(int64_t uid) override;
    std::optional<Node> StoreRecord(int64_t uid) override;
    void RecordAdded(const Node& node) override;
    bool DeleteRecord(int64_t uid) override;
    void ForgetRecord() override;

    void ClearValueLists();
    void FillValueLists(int64_t uid);
    void ShowLastAddress();
    void DeleteMirror(const std::string& storedId);

    server::Runtime& runtime_;
    QLineEdit* id_;
    QLineEdit* comment_;
    QLineEdit* password_;
    QLineEdit* lastIp_;
    SpinButton* spin_;
    QTabWidget* tabs_;
    QTableWidget* infoBasic_;
    QTableWidget* profile_;
    QPushButton* refresh_;
    QPushButton* connect_;
    // The ID of the concentrator shown (as read), for the events of result processing.
    std::string shownId_;
};

}  // namespace zb::app
