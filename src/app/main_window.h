#pragma once
// The operator window: the login panel, then the main area with the navigation trail, the
// stacked pages and the status bar. It runs the window's half of the start-up, both one-second
// timers, the keyboard shortcuts and the log page, and it receives the core's events.
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <array>
#include <memory>
#include <optional>

#include "admin/login.h"
#include "app/page.h"
#include "app/trail.h"

namespace zb::server {
class Runtime;
}

namespace zb::app {

class WindowEvents;
class ConcentratorsPage;
class FamilyPage;
class ContractsPage;
class AccountsPage;
class MeasuringPointsPage;
class NetworkPage;

// Every page of the main area.
enum class PageId {
    Main,
    Work,
    Data,
    Admin,
    Library,
    UpLoad,
    Delete,
    Stat,
    Operators,
    Ctr,
    MeasuringPoints,
    Customers,
    Contracts,
    Accounts,
    Balance,
    Categories,
    Providers,
    Network,
    Log,
    Count
};

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainWindow(server::Runtime& runtime, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The window's start-up: opens the database, pre-fills the login, prepares the pages,
    // installs the log sink and the core events, starts the link and both timers. False when
    // the database could not be opened (the message has been shown).
    bool Start();
    // Stops listening to the core (log sink, events) before the window goes away.
    void Detach();

    // Login state.
    bool LoggedIn() const { return current_.has_value(); }
    const std::optional<admin::CurrentOperator>& CurrentOperator() const { return current_; }
    bool LoginPanelInFront() const;

    // Navigation.
    Page* PageOf(PageId id) const { return pages_[static_cast<size_t>(id)]; }
    Page* PageInFront() const;
    void NavigateTo(Page* page);
    // A link of a links page: NavigateTo, then the page's loader.
    void FollowLink(PageId id);
    NavigationTrail* Trail() const { return trail_; }

  public slots:
    void Login();
    // The timeout timer: the link's close countdowns.
    void TimeoutTick();
    // The status timer: time, connections, files, the connected marks of the concentrators tree
    // and, while it is in front, the network state page, and the enabling of the dispatch and
    // withdrawal buttons.
    void StatusTick();
    // Appends a log line on the window thread.
    void AppendLogLine(const QString& line);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* BuildLoginPanel();
    QWidget* BuildMainArea();
    void BuildPages();
    void AddPage(PageId id, Page* page);
    void EnterMainArea();
    void CenterOnScreen();
    void UpdateUpLoadButton(const char* button, const char* listA, const char* listB);
    ConcentratorsPage* CtrPage() const;
    MeasuringPointsPage* MetersPage() const;
    NetworkPage* NetPage() const;

    server::Runtime& runtime_;
    QStackedWidget* top_ = nullptr;
    QWidget* loginPanel_ = nullptr;
    QWidget* mainArea_ = nullptr;
    QLineEdit* loginEdit_ = nullptr;
    QLineEdit* passwordEdit_ = nullptr;
    NavigationTrail* trail_ = nullptr;
    QStackedWidget* pageStack_ = nullptr;
    std::array<Page*, static_cast<size_t>(PageId::Count)> pages_{};
    LinkLabel* adminLink_ = nullptr;
    std::array<QLabel*, 4> status_{};
    QTimer* timerTout_ = nullptr;
    QTimer* timerSec_ = nullptr;
    std::optional<admin::CurrentOperator> current_;
    std::shared_ptr<WindowEvents> events_;
    bool attached_ = false;
};

}  // namespace zb::app
