#include "app/main_window.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QVBoxLayout>

#include "admin/reference.h"
#include "app/accounts_page.h"
#include "app/concentrators_page.h"
#include "app/contracts_page.h"
#include "app/family_page.h"
#include "app/measuring_points_page.h"
#include "app/network_page.h"
#include "app/operators_page.h"
#include "app/periodic_page.h"
#include "app/shell_texts.h"
#include "app/stat_page.h"
#include "app/window_events.h"
#include "app/work_dispatch_page.h"
#include "app/work_library_page.h"
#include "base/clock.h"
#include "base/log.h"
#include "base/program.h"
#include "link/link_server.h"
#include "server/runtime.h"
#include "storage/sqlite_database.h"

namespace zb::app {

namespace {
constexpr QSize kLoginSize(278, 178);
constexpr QSize kMainSize(1024, 768);
constexpr int kStripHeight = 29;
}  // namespace

MainWindow::MainWindow(server::Runtime& runtime, QWidget* parent)
    : QMainWindow(parent), runtime_(runtime) {
    setObjectName("FormMain");
    setWindowTitle(Q(base::Program().windowTitle));

    top_ = new QStackedWidget(this);
    loginPanel_ = BuildLoginPanel();
    mainArea_ = BuildMainArea();
    top_->addWidget(loginPanel_);
    top_->addWidget(mainArea_);
    top_->setCurrentWidget(loginPanel_);
    setCentralWidget(top_);

    for (int i = 0; i < 4; ++i) {
        status_[i] = new QLabel(Q(texts::kStatusInitial[i]), this);
        status_[i]->setFixedWidth(texts::kStatusWidths[i]);
        status_[i]->setFrameShape(QFrame::StyledPanel);
        statusBar()->addWidget(status_[i]);
    }
    status_[0]->setObjectName("StatusPanelLogin");
    status_[1]->setObjectName("StatusPanelTime");
    status_[2]->setObjectName("StatusPanelConns");
    status_[3]->setObjectName("StatusPanelFiles");
    statusBar()->setObjectName("StatusBar");
    statusBar()->setSizeGripEnabled(false);
    statusBar()->hide();

    timerTout_ = new QTimer(this);
    timerTout_->setObjectName("TimerTout");
    timerTout_->setInterval(1000);
    connect(timerTout_, &QTimer::timeout, this, &MainWindow::TimeoutTick);
    timerSec_ = new QTimer(this);
    timerSec_->setObjectName("TimerSec");
    timerSec_->setInterval(1000);
    connect(timerSec_, &QTimer::timeout, this, &MainWindow::StatusTick);

    auto* relay = new EventRelay(this);
    relay->setObjectName("EventRelay");
    events_ = std::make_shared<WindowEvents>(relay);
    connect(relay, &EventRelay::ctrLastAddressChanged, CtrPage(),
            &ConcentratorsPage::OnLastAddress);
    connect(relay, &EventRelay::ctrValuesChanged, CtrPage(), &ConcentratorsPage::OnValuesChanged);
    connect(relay, &EventRelay::meterValuesChanged, MetersPage(),
            &MeasuringPointsPage::OnMeterValues);
    connect(relay, &EventRelay::profileReceived, MetersPage()->attributes(),
            &MeterAttributesTabs::OnProfileReceived);
    connect(relay, &EventRelay::profileReceived,
            static_cast<StatPage*>(PageOf(PageId::Stat))->meterTabs(),
            &MeterAttributesTabs::OnProfileReceived);
    // A confirmed deletion of a periodic work refills the removal page when it is in front.
    connect(relay, &EventRelay::periodicWorksChanged, this, [this] {
        if (PageInFront() == PageOf(PageId::Delete)) {
            PageOf(PageId::Delete)->RunLoader();
        }
    });

    // The window sees every key before its controls.
    qApp->installEventFilter(this);
}

MainWindow::~MainWindow() {
    Detach();
    qApp->removeEventFilter(this);
}

QWidget* MainWindow::BuildLoginPanel() {
    auto* panel = new QWidget(this);
    panel->setObjectName("PanelLogin");
    auto* layout = new QGridLayout(panel);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->setVerticalSpacing(10);
    loginEdit_ = new QLineEdit(panel);
    loginEdit_->setObjectName("EditLogin");
    passwordEdit_ = new QLineEdit(panel);
    // The password is shown as typed, not masked.
    passwordEdit_->setObjectName("EditPassword");
    MakeUpperCase(loginEdit_);
    MakeUpperCase(passwordEdit_);
    int row = 0;
    for (const auto& [caption, edit] : {std::pair{texts::kLoginLabel, loginEdit_},
                                        std::pair{texts::kPasswordLabel, passwordEdit_}}) {
        auto* label = new QLabel(Q(caption), panel);
        label->setBuddy(edit);
        NameField(edit, label->text());
        layout->addWidget(label, row, 0);
        layout->addWidget(edit, row, 1);
        ++row;
    }
    auto* buttons = new QHBoxLayout();
    auto* ok = new QPushButton("OK", panel);
    ok->setObjectName("ButtonLoginOK");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", panel);
    cancel->setObjectName("ButtonLoginCancel");
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->setRowStretch(2, 1);
    layout->addLayout(buttons, 3, 0, 1, 2);
    connect(ok, &QPushButton::clicked, this, &MainWindow::Login);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    return panel;
}

QWidget* MainWindow::BuildMainArea() {
    auto* area = new QWidget(this);
    area->setObjectName("PanelMain");
    auto* layout = new QVBoxLayout(area);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* strip = new QFrame(area);
    strip->setObjectName("PanelNavigation");
    strip->setFixedHeight(kStripHeight);
    strip->setFrameShape(QFrame::NoFrame);
    strip->setStyleSheet(
        "#PanelNavigation { background: #f4f6fa; border-bottom: 1px solid "
        "#c9d1dc; }");
    auto* stripLayout = new QHBoxLayout(strip);
    stripLayout->setContentsMargins(0, 0, 0, 0);
    // A long trail never widens the window: it scrolls, keeping its end in view.
    auto* scroll = new QScrollArea(strip);
    scroll->setObjectName("ScrollBoxNavigation");
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    scroll->setStyleSheet("background: transparent;");
    trail_ = new NavigationTrail(scroll);
    scroll->setWidget(trail_);
    stripLayout->addWidget(scroll);
    connect(trail_, &NavigationTrail::changed, scroll, [scroll] {
        QTimer::singleShot(0, scroll, [scroll] {
            scroll->horizontalScrollBar()->setValue(scroll->horizontalScrollBar()->maximum());
        });
    });
    layout->addWidget(strip);
    pageStack_ = new QStackedWidget(area);
    pageStack_->setObjectName("PageControlMain");
    layout->addWidget(pageStack_, 1);
    BuildPages();
    connect(trail_, &NavigationTrail::pageClicked, this,
            [this](Page* page) { pageStack_->setCurrentWidget(page); });
    return area;
}

void MainWindow::AddPage(PageId id, Page* page) {
    pages_[static_cast<size_t>(id)] = page;
    pageStack_->addWidget(page);
}

void MainWindow::BuildPages() {
    auto* main =
        new MainLinksPage(texts::kMain, "PageMain", pageStack_, base::Program().windowTitle);
    connect(main->AddLink(texts::kLinkWork, "LabelMainWork"), &LinkLabel::clicked, this,
            [this] { FollowLink(PageId::Work); });
    connect(main->AddLink(texts::kLinkData, "LabelMainData"), &LinkLabel::clicked, this,
            [this] { FollowLink(PageId::Data); });
    adminLink_ = main->AddLink(texts::kLinkAdmin, "LabelMainAdmin");
    adminLink_->setEnabled(false);
    connect(adminLink_, &LinkLabel::clicked, this, [this] { FollowLink(PageId::Admin); });
    connect(main->AddLink(texts::kLinkExit, "LabelMainExit"), &LinkLabel::clicked, this,
            &QWidget::close);
    connect(main, &MainLinksPage::altClicked, this, [this] { NavigateTo(PageOf(PageId::Log)); });
    AddPage(PageId::Main, main);

    auto* work = new LinksPage(texts::kWork, "PageWork", pageStack_);
    const std::pair<const char*, PageId> workLinks[] = {
        {texts::kLinkLibrary, PageId::Library},
        {texts::kLinkUpLoad, PageId::UpLoad},
        {texts::kLinkDelete, PageId::Delete},
        {texts::kLinkStat, PageId::Stat},
    };
    const char* workNames[] = {"LabelWorkLib", "LabelWorkUpLoad", "LabelWorkDelete",
                               "LabelWorkStat"};
    for (size_t i = 0; i < std::size(workLinks); ++i) {
        const PageId target = workLinks[i].second;
        connect(work->AddLink(workLinks[i].first, workNames[i]), &LinkLabel::clicked, this,
                [this, target] { FollowLink(target); });
    }
    AddPage(PageId::Work, work);

    auto* data = new LinksPage(texts::kData, "PageData", pageStack_);
    data->AddLink(texts::kLinkReports, "LabelDataReports")->setEnabled(false);
    data->AddLink(texts::kLinkManual, "LabelDataManual")->setEnabled(false);
    AddPage(PageId::Data, data);

    auto* admin = new LinksPage(texts::kAdmin, "PageAdmin", pageStack_);
    const std::tuple<const char*, const char*, PageId> adminLinks[] = {
        {texts::kLinkOperators, "LabelAdminOperator", PageId::Operators},
        {texts::kLinkCtr, "LabelAdminCtr", PageId::Ctr},
        {texts::kLinkMeasuringPoints, "LabelAdminMP", PageId::MeasuringPoints},
        {texts::kLinkCustomers, "LabelAdminCustomer", PageId::Customers},
        {texts::kLinkContracts, "LabelAdminContract", PageId::Contracts},
        {texts::kLinkAccounts, "LabelAdminAccount", PageId::Accounts},
        {texts::kLinkBalance, "LabelAdminBalance", PageId::Balance},
        {texts::kLinkCategories, "LabelAdminCategory", PageId::Categories},
        {texts::kLinkProviders, "LabelAdminProvider", PageId::Providers},
        {texts::kLinkNetwork, "LabelAdminNetwork", PageId::Network},
    };
    for (const auto& [text, name, target] : adminLinks) {
        const PageId id = target;
        connect(admin->AddLink(text, name), &LinkLabel::clicked, this,
                [this, id] { FollowLink(id); });
    }
    AddPage(PageId::Admin, admin);

    // Pages whose working parts come with their own screens show their prompt; the dispatch,
    // periodic removal and measuring points pages already answer F5.
    AddPage(PageId::Library, new WorkLibraryPage(pageStack_));
    AddPage(
        PageId::UpLoad,
        new WorkDispatchPage([this] { return current_ ? current_->uid : int64_t{0}; }, pageStack_));
    AddPage(PageId::Delete, new PeriodicPage(pageStack_));
    AddPage(PageId::Stat, new StatPage(pageStack_));
    AddPage(PageId::Operators, new OperatorsPage(pageStack_));
    AddPage(PageId::Ctr, new ConcentratorsPage(runtime_, pageStack_));
    AddPage(PageId::MeasuringPoints, new MeasuringPointsPage(pageStack_));
    AddPage(PageId::Customers,
            new FamilyPage(admin::CustomersRegister(), "AdminCustomer", pageStack_));
    AddPage(PageId::Contracts, new ContractsPage(pageStack_));
    AddPage(PageId::Accounts, new AccountsPage(pageStack_));
    AddPage(PageId::Balance,
            new FamilyPage(admin::BalanceGroupsRegister(), "AdminBalance", pageStack_));
    AddPage(PageId::Categories,
            new FamilyPage(admin::CategoriesRegister(), "AdminCategory", pageStack_));
    AddPage(PageId::Providers,
            new FamilyPage(admin::ProvidersRegister(), "AdminProvider", pageStack_));
    AddPage(PageId::Network, new NetworkPage(runtime_, pageStack_));
    AddPage(PageId::Log, new LogPage(pageStack_));
}

ConcentratorsPage* MainWindow::CtrPage() const {
    return static_cast<ConcentratorsPage*>(PageOf(PageId::Ctr));
}

MeasuringPointsPage* MainWindow::MetersPage() const {
    return static_cast<MeasuringPointsPage*>(PageOf(PageId::MeasuringPoints));
}

NetworkPage* MainWindow::NetPage() const {
    return static_cast<NetworkPage*>(PageOf(PageId::Network));
}

bool MainWindow::Start() {
    try {
        runtime_.OpenDatabase();
    } catch (const std::exception& e) {
        base::Messages().Error(e.what());
        return false;
    }
    trail_->Append(PageOf(PageId::Main));
    pageStack_->setCurrentWidget(PageOf(PageId::Main));
    // The start window holds the login panel alone.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kLoginSize);
    CenterOnScreen();
    Guarded([this] {
        if (const auto fields = admin::PrefillLogin(storage::Database())) {
            loginEdit_->setText(Q(fields->login));
            passwordEdit_->setText(Q(fields->password));
        }
    });
    // The description catalogue, with the top-level groups the work library editor lists.
    Guarded([this] { runtime_.LoadCatalogue(true); });
    top_->setCurrentWidget(loginPanel_);
    loginEdit_->setFocus();

    // From here on the core's log lines and events reach the window.
    base::SetLogSink([this](const std::string& line) {
        QMetaObject::invokeMethod(
            this, [this, text = Q(line)] { AppendLogLine(text); }, Qt::QueuedConnection);
    });
    base::SetEvents(events_);
    attached_ = true;
    try {
        runtime_.StartLink();
    } catch (const std::exception& e) {
        base::Messages().Error(e.what());
    }
    timerTout_->start();
    timerSec_->start();
    return true;
}

void MainWindow::Detach() {
    if (!attached_) {
        return;
    }
    attached_ = false;
    timerTout_->stop();
    timerSec_->stop();
    base::SetLogSink(nullptr);
    base::SetEvents(nullptr);
    events_->Disconnect();
}

bool MainWindow::LoginPanelInFront() const {
    return top_->currentWidget() == loginPanel_;
}

Page* MainWindow::PageInFront() const {
    return top_->currentWidget() == mainArea_ ? static_cast<Page*>(pageStack_->currentWidget())
                                              : nullptr;
}

void MainWindow::NavigateTo(Page* target) {
    trail_->Append(target);
    pageStack_->setCurrentWidget(target);
}

void MainWindow::FollowLink(PageId id) {
    NavigateTo(PageOf(id));
    PageOf(id)->RunLoader();
}

void MainWindow::Login() {
    Guarded([this] {
        const auto outcome =
            admin::TryLogin(storage::Database(), S(loginEdit_->text()), S(passwordEdit_->text()));
        if (!outcome.loggedIn) {
            base::Messages().Warning(outcome.warning);
            return;
        }
        current_ = outcome.loggedIn;
        status_[0]->setText(Q(admin::OperatorStatusText(*current_)));
        adminLink_->setEnabled(admin::HasAdministrationRight(current_->login));
        EnterMainArea();
    });
}

void MainWindow::EnterMainArea() {
    hide();
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    setWindowFlags(Qt::Window);
    top_->setCurrentWidget(mainArea_);
    pageStack_->setCurrentWidget(PageOf(PageId::Main));
    resize(kMainSize);
    CenterOnScreen();
    statusBar()->show();
    show();
}

void MainWindow::CenterOnScreen() {
    if (QScreen* screen = this->screen()) {
        const QRect available = screen->availableGeometry();
        move(available.center() - QPoint(width() / 2, height() / 2));
    }
}

void MainWindow::TimeoutTick() {
    runtime_.Tick();
}

void MainWindow::StatusTick() {
    status_[1]->setText(Q(base::FormatDateTime(base::LocalNow())));
    link::LinkServer* link = runtime_.Link();
    status_[2]->setText(Q(texts::StatusConnections(
        link != nullptr ? static_cast<int64_t>(link->ConnectionCount()) : 0)));
    status_[3]->setText(Q(texts::StatusFiles(link != nullptr ? link->FilesIn() : 0,
                                             link != nullptr ? link->FilesOut() : 0)));
    if (link != nullptr) {
        // One read of the link's session figures serves both screens that show them.
        const auto sessions = link->SessionFigures().Snapshot();
        CtrPage()->ShowConnected(sessions);
        if (PageInFront() == NetPage()) {
            NetPage()->RefreshSessions(sessions);
        }
    }
    UpdateUpLoadButton("ButtonWorkUpLoad", "ListBoxWorkCtr", "ListBoxWorkMeter");
    UpdateUpLoadButton("ButtonWorkDeleteUpLoad", "ListBoxWorkDelete", "ListBoxWorkDeleteCtr");
}

void MainWindow::UpdateUpLoadButton(const char* button, const char* listA, const char* listB) {
    auto* b = findChild<QAbstractButton*>(button);
    auto* a = findChild<QAbstractItemView*>(listA);
    auto* c = findChild<QAbstractItemView*>(listB);
    if (b == nullptr || a == nullptr || c == nullptr || a->selectionModel() == nullptr ||
        c->selectionModel() == nullptr) {
        return;
    }
    b->setEnabled(
        texts::UpLoadEnabled(static_cast<int>(a->selectionModel()->selectedIndexes().size()),
                             static_cast<int>(c->selectionModel()->selectedIndexes().size())));
}

void MainWindow::AppendLogLine(const QString& line) {
    static_cast<LogPage*>(PageOf(PageId::Log))->Append(line);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && widget->window() == this) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                LoginPanelInFront()) {
                Login();
                return true;
            }
            if (key->key() == Qt::Key_F5) {
                Page* front = PageInFront();
                if (front != nullptr && front->RefreshOnF5()) {
                    front->RunLoader();
                    return true;
                }
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace zb::app
