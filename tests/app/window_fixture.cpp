#include "window_fixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QTest>
#include <atomic>
#include <thread>

#include "app/run_window.h"
#include "base/operator_messages.h"
#include "link/link_server.h"
#include "storage/schema.h"
#include "storage/sqlite_database.h"
#include "testing/process.h"

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

void WindowTest::ShowPage(app::PageId id) {
    using app::PageId;
    // The link of each page by PageId, after the link of the page it is reached from.
    static const QStringList kLinks =
        QString(
            "- LabelMainWork LabelMainData LabelMainAdmin LabelWorkLib LabelWorkUpLoad "
            "LabelWorkDelete LabelWorkStat LabelAdminOperator LabelAdminCtr LabelAdminMP "
            "LabelAdminCustomer LabelAdminContract LabelAdminAccount LabelAdminBalance "
            "LabelAdminCategory LabelAdminProvider LabelAdminNetwork")
            .split(' ');
    Click(window_->Trail()->LabelAt(0));
    if (id == PageId::Log) {
        auto* main = window_->PageOf(PageId::Main);
        QTest::mouseClick(main, Qt::LeftButton, Qt::AltModifier,
                          QPoint(main->width() - 20, main->height() - 20));
    } else if (id != PageId::Main) {
        const PageId from = id < PageId::Library ? PageId::Main
                            : id <= PageId::Stat ? PageId::Work
                                                 : PageId::Admin;
        if (from != PageId::Main) {
            Press(kLinks[static_cast<int>(from)]);
        }
        Press(kLinks[static_cast<int>(id)]);
    }
    Flush();
    EXPECT_EQ(window_->PageInFront(), window_->PageOf(id)) << static_cast<int>(id);
}

void WindowTest::OpenPage(app::PageId id) {
    if (!window_) {
        StartWindow();
    }
    if (!window_->LoggedIn()) {
        LoginAs("KREMU", "KREMU");
    }
    ShowPage(id);
}

int WindowTest::RunConcentrator(const char* id, const std::filesystem::path& root) {
    testing::ChildProcess sim(
        ZB_CTR_SIM_PATH, {"--port", std::to_string(runtime_->Link()->Port()), "--id", id, "--root",
                          root.string(), "--timeout", "60", "--quiet"});
    std::atomic<int> code{-1};
    std::thread waiter([&] { code = sim.Wait(std::chrono::seconds(60)); });
    // The window thread ticks the close countdowns and handles the queued events meanwhile.
    WaitFor(
        [&] {
            window_->TimeoutTick();
            return code != -1;
        },
        std::chrono::seconds(70));
    waiter.join();
    return code.load();
}

void WindowTest::AddRecord(const QString& prefix, const QStringList& texts) {
    Press("Button" + prefix + "Cancel");
    Press("ToolButton" + prefix + "Add");
    const auto fields = Fields(prefix);
    for (int i = 0; i < texts.size(); ++i) {
        fields[i]->setText(texts[i]);
    }
    Press("Button" + prefix + "Save");
    Flush();
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

void WindowTest::ClickItem(QTreeWidget* tree, QTreeWidgetItem* item) {
    ASSERT_NE(item, nullptr);
    tree->scrollToItem(item);
    ClickIn(tree, tree->visualItemRect(item));
}

void WindowTest::ClickIn(QAbstractItemView* view, const QRect& rect) {
    ASSERT_TRUE(rect.isValid());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
    Flush();
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

int64_t WindowTest::Count(const std::string& table, const std::string& where) {
    return storage::Database()
        .QueryTable("SELECT COUNT(*) from " + table + (where.empty() ? "" : " WHERE " + where))
        ->FieldInt64(0);
}

}  // namespace zb::apptest
