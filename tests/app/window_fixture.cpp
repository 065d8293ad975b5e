#include "window_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTest>
#include <thread>

#include "app/run_window.h"
#include "base/operator_messages.h"
#include "storage/schema.h"
#include "storage/sqlite_database.h"

namespace zb::apptest {

namespace {

// One QApplication for the whole test program, on the offscreen platform.
class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "zb-app-test";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
        app::ApplyLook();
    }
    void TearDown() override { app_.reset(); }

  private:
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] const auto* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

void WindowTest::SetUp() {
    server::PrepareProgram(dir_.path());
    messages_ = std::make_shared<testing::MessageRecorder>();
    base::SetMessages(messages_);
}

void WindowTest::TearDown() {
    window_.reset();
    runtime_.reset();
    storage::SetDatabase(nullptr);
    base::SetMessages(nullptr);
}

void WindowTest::PrepareDatabase(const std::vector<std::string>& statements) {
    bool created = false;
    auto db = storage::OpenProgramDatabase((dir_.path() / "ZarnicBox.db").string(), created);
    for (const auto& sql : statements) {
        db->ExecuteSql(sql);
    }
}

void WindowTest::CopyShippedCatalogue() {
    for (const char* folder : {"XML.ZARNIC", "XML.ZarnicMaster", "DLL"}) {
        std::filesystem::copy(testing::BuiltProgramDir() / folder, dir_.path() / folder,
                              std::filesystem::copy_options::recursive);
    }
}

void WindowTest::StartWindow() {
    runtime_ = std::make_unique<server::Runtime>(server::RuntimeOptions{dir_.path(), 0});
    window_ = std::make_unique<app::MainWindow>(*runtime_);
    ASSERT_TRUE(window_->Start());
    window_->show();
    Flush();
}

void WindowTest::LoginAs(const QString& login, const QString& password) {
    Edit("EditLogin")->setText(login);
    Edit("EditPassword")->setText(password);
    Click(Find<QPushButton>("ButtonLoginOK"));
    Flush();
}

void WindowTest::OpenAdminPage(const char* linkName) {
    if (!window_) {
        StartWindow();
    }
    if (!window_->LoggedIn()) {
        LoginAs("KREMU", "KREMU");
    }
    ASSERT_TRUE(window_->LoggedIn());
    Click(Find<QWidget>("LabelMainAdmin"));
    Click(Find<QWidget>(linkName));
    Flush();
}

void WindowTest::ShowPage(app::PageId id) {
    using app::PageId;
    Click(window_->Trail()->LabelAt(0));
    if (id == PageId::Library || id == PageId::UpLoad || id == PageId::Delete ||
        id == PageId::Stat) {
        window_->FollowLink(PageId::Work);
    } else if (id > PageId::Stat && id != PageId::Log) {
        window_->FollowLink(PageId::Admin);
    }
    if (id != PageId::Main) {
        window_->FollowLink(id);
    }
    Flush();
}

bool WindowTest::Showing(const QString& name) const {
    auto* widget = Find<QWidget>(name);
    return widget != nullptr && widget->isVisibleTo(window_.get());
}

QString WindowTest::HeaderText(const QString& prefix) const {
    auto* header = Find<app::HeaderPanel>("Panel" + prefix + "Header");
    return header != nullptr ? header->text() : QString();
}

void WindowTest::Click(QWidget* widget) {
    ASSERT_NE(widget, nullptr);
    QTest::mouseClick(widget, Qt::LeftButton);
}

void WindowTest::Type(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

void WindowTest::ClickAlt(QWidget* widget, QPoint at) {
    QTest::mouseClick(widget, Qt::LeftButton, Qt::AltModifier, at);
}

void WindowTest::ClickItem(QTreeWidget* tree, QTreeWidgetItem* item) {
    ASSERT_NE(item, nullptr);
    tree->scrollToItem(item);
    const QRect rect = tree->visualItemRect(item);
    ASSERT_TRUE(rect.isValid());
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
    Flush();
}

QTreeWidgetItem* WindowTest::ChildByText(QTreeWidget* tree, const QString& text) {
    QTreeWidgetItem* root = tree->topLevelItem(0);
    for (int i = 0; root != nullptr && i < root->childCount(); ++i) {
        if (root->child(i)->text(0) == text) {
            return root->child(i);
        }
    }
    return nullptr;
}

QStringList WindowTest::ChildTexts(QTreeWidget* tree) {
    QStringList texts;
    QTreeWidgetItem* root = tree->topLevelItem(0);
    for (int i = 0; root != nullptr && i < root->childCount(); ++i) {
        texts << root->child(i)->text(0);
    }
    return texts;
}

bool WindowTest::WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeout.count()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void WindowTest::Flush() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

int64_t WindowTest::Count(const std::string& table, const std::string& where) {
    return storage::Database()
        .QueryTable("SELECT COUNT(*) from " + table + (where.empty() ? "" : " WHERE " + where))
        ->FieldInt64(0);
}

LoopbackClient::LoopbackClient(uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

LoopbackClient::~LoopbackClient() {
    ::close(fd_);
}

}  // namespace zb::apptest
