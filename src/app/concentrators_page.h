#pragma once
// The concentrators page: registers, edits and removes concentrators, shows what each last
// reported and its last address, queues a refresh of its attributes and opens its web page.
#include <QLineEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <mutex>
#include <optional>
#include <string>

#include "app/page.h"
#include "app/widgets.h"
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
    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

  signals:
    void stepped(bool up);

  private:
    QToolButton* up_;
    QToolButton* down_;
};

class ConcentratorsPage : public Page {
    Q_OBJECT
  public:
    ConcentratorsPage(server::Runtime& runtime, QWidget* parent = nullptr);

    RegisterFrame* frame() const { return frame_; }
    QLineEdit* idEdit() const { return id_; }
    QLineEdit* commentEdit() const { return comment_; }
    QLineEdit* passwordEdit() const { return password_; }
    QLineEdit* lastIpEdit() const { return lastIp_; }
    SpinButton* spinButton() const { return spin_; }
    QTableWidget* infoBasicList() const { return infoBasic_; }
    QTableWidget* profileList() const { return profile_; }
    QTabWidget* attrTabs() const { return tabs_; }
    QPushButton* refreshButton() const { return refresh_; }
    QPushButton* connectButton() const { return connect_; }

  public slots:
    void Select(QTreeWidgetItem* item);
    void Add();
    void Save();
    void Delete();
    void Cancel();
    void Refresh();
    void Open();
    void Spin(bool up);
    // A handshake recorded a concentrator's address: shown when the ID edit shows that ID.
    void OnLastAddress(const QString& ctrId, const QString& address);
    // A concentrator's InfoBasic or Profile changed: reread when it is the one shown.
    void OnValuesChanged(const QString& ctrId);
    // Marks the tree's connected concentrators (the status timer, every second).
    void ShowConnected(const std::vector<link::CtrSessionFigures>& sessions);

  protected:
    void Load() override;

  private:
    void ClearValueLists();
    void FillValueLists(int64_t uid);
    void ShowLastAddress();
    std::mutex& FileLock();

    server::Runtime& runtime_;
    std::mutex ownFileLock_;
    RegisterFrame* frame_;
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
