// Start-up, login, navigation, keyboard, log and status bar of the real window.
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTest>
#include <QTextBlock>
#include <thread>

#include "base/log.h"
#include "link/link_server.h"
#include "storage/stored_text.h"
#include "window_fixture.h"

namespace zb::apptest {
namespace {

using app::PageId;

class ShellTest : public WindowTest {
  protected:
    QString Status(int index) {
        const char* names[] = {"StatusPanelLogin", "StatusPanelTime", "StatusPanelConns",
                               "StatusPanelFiles"};
        return Find<QLabel>(names[index])->text();
    }
};

TEST_F(ShellTest, EnterLogsInThePrefilledAdministrator) {
    StartWindow();
    EXPECT_TRUE(window_->LoginPanelInFront());
    EXPECT_EQ(Edit("EditLogin")->text(), "KREMU");
    EXPECT_EQ(Edit("EditPassword")->text(), "KREMU");
    EXPECT_FALSE(window_->statusBar()->isVisible());

    // Enter anywhere on the login panel logs in.
    Edit("EditLogin")->setFocus();
    QTest::keyClick(Edit("EditPassword"), Qt::Key_Return);
    Flush();
    ASSERT_TRUE(window_->LoggedIn());
    EXPECT_EQ(window_->PageInFront(), window_->PageOf(PageId::Main));
    EXPECT_TRUE(window_->statusBar()->isVisible());
    EXPECT_EQ(Status(0), "KREMU/Администратор");
    EXPECT_TRUE(Enabled("LabelMainAdmin"));
    EXPECT_EQ(window_->Trail()->Texts(), QStringList{"Main"});
}

TEST_F(ShellTest, WrongLoginOrPasswordWarnsAndTypedLettersAreCapitals) {
    StartWindow();
    LoginAs("KREMU", "NOPE");
    LoginAs("NOBODY", "KREMU");
    EXPECT_EQ(messages_->warnings(),
              (std::vector<std::string>{"Неверный Пароль!", "Неверный Логин!"}));
    EXPECT_TRUE(window_->LoginPanelInFront());
    EXPECT_EQ(Edit("EditLogin")->text(), "NOBODY");

    Edit("EditPassword")->clear();
    Type(Edit("EditPassword"), "пароль-ё");
    EXPECT_EQ(Edit("EditPassword")->text(), QString("ПАРОЛЬ-Ё"));
}

TEST_F(ShellTest, OtherOperatorLogsInWithoutAdministration) {
    PrepareDatabase({"INSERT into Operator (Name,Login,Password,XML) values(" +
                     storage::SqlText("Иван") + ",'IVAN','PASS','')"});
    StartWindow();
    // Two operators: nothing is pre-filled.
    EXPECT_EQ(Edit("EditLogin")->text() + Edit("EditPassword")->text(), "");
    LoginAs("ivan", "pass");
    ASSERT_TRUE(window_->LoggedIn());
    EXPECT_EQ(Status(0), "IVAN/Иван");
    EXPECT_FALSE(Enabled("LabelMainAdmin"));
    Press("LabelMainAdmin");
    EXPECT_EQ(window_->PageInFront(), window_->PageOf(PageId::Main));
    // Works and database stay open to everyone.
    ShowPage(PageId::Stat);
}

TEST_F(ShellTest, TrailRecordsTheWayAndLeadsBack) {
    OpenPage(PageId::Operators);
    EXPECT_EQ(window_->Trail()->Texts(),
              (QStringList{"Main", "-->", "Администрирование", "-->", "Операторы"}));

    // A separator does nothing; a page name brings its page back, unloaded, and cuts the trail.
    const int loads = window_->PageOf(PageId::Admin)->Loads();
    Click(window_->Trail()->LabelAt(1));
    EXPECT_EQ(window_->Trail()->Count(), 5);
    Click(window_->Trail()->LabelAt(2));
    Flush();
    EXPECT_EQ(window_->Trail()->Texts(), (QStringList{"Main", "-->", "Администрирование"}));
    EXPECT_EQ(window_->PageInFront(), window_->PageOf(PageId::Admin));
    EXPECT_EQ(window_->PageOf(PageId::Admin)->Loads(), loads);

    // A plain click on the main page's background does nothing, an Alt-click opens the log; the
    // same page twice is appended twice.
    auto* main = window_->PageOf(PageId::Main);
    ShowPage(PageId::Main);
    QTest::mouseClick(main, Qt::LeftButton, {}, QPoint(main->width() - 20, main->height() - 20));
    EXPECT_EQ(window_->PageInFront(), main);
    ShowPage(PageId::Log);
    window_->NavigateTo(window_->PageOf(PageId::Log));
    EXPECT_EQ(window_->Trail()->Texts(), (QStringList{"Main", "-->", "Журнал", "-->", "Журнал"}));
}

TEST_F(ShellTest, F5ReloadsOnlyTheRefreshingPages) {
    OpenPage(PageId::Operators);
    // The operators page is not read again: a row added meanwhile stays out of its tree.
    storage::Database().ExecuteSql(
        "INSERT into Operator (Name,Login,Password) values('Новый','NEW','1')");
    QTest::keyClick(window_.get(), Qt::Key_F5);
    EXPECT_EQ(window_->PageOf(PageId::Operators)->Loads(), 1);
    EXPECT_EQ(ChildTexts(Find<QTreeWidget>("TreeViewAdminOperator")).size(), 1);
    for (const auto& [id, reloads] :
         {std::pair{PageId::MeasuringPoints, true}, std::pair{PageId::UpLoad, true},
          std::pair{PageId::Delete, true}, std::pair{PageId::Stat, false}}) {
        ShowPage(id);
        const int loads = window_->PageOf(id)->Loads();
        QTest::keyClick(window_.get(), Qt::Key_F5);
        EXPECT_EQ(window_->PageOf(id)->Loads(), loads + (reloads ? 1 : 0)) << static_cast<int>(id);
    }
}

TEST_F(ShellTest, LogKeepsTheLast257WholeLinesInCallOrder) {
    StartWindow();
    // Lines come from another thread and from the window's own.
    std::thread writer([] {
        for (int i = 0; i < 200; ++i) {
            base::LogLine("line " + std::to_string(i));
        }
    });
    writer.join();
    for (int i = 200; i < 300; ++i) {
        base::LogLine("line " + std::to_string(i), 2);
    }
    QPlainTextEdit* memo = Find<QPlainTextEdit>("MemoLog");
    ASSERT_TRUE(WaitFor([&] { return memo->toPlainText().endsWith("line 299"); }));
    const QStringList lines = memo->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 257);
    EXPECT_EQ(memo->document()->blockCount(), 257);
    const QRegularExpression form("^\\d{1,2}:\\d{2}:\\d{2}: line (\\d+)$");
    for (int i = 0; i < lines.size(); ++i) {
        const auto match = form.match(lines[i]);
        ASSERT_TRUE(match.hasMatch()) << lines[i].toStdString();
        EXPECT_EQ(match.captured(1).toInt(), 43 + i);
    }
}

TEST_F(ShellTest, StatusTickShowsTimeAndConnections) {
    StartWindow();
    LoginAs("KREMU", "KREMU");
    window_->StatusTick();
    EXPECT_TRUE(QRegularExpression("^\\d{2}\\.\\d{2}\\.\\d{4} \\d{1,2}:\\d{2}:\\d{2}$")
                    .match(Status(1))
                    .hasMatch())
        << Status(1).toStdString();
    EXPECT_EQ(Status(3), "Файлы in|out: 0|0");
    {
        LoopbackClient a(runtime_->Link()->Port());
        LoopbackClient b(runtime_->Link()->Port());
        ASSERT_TRUE(a.connected() && b.connected());
        ASSERT_TRUE(WaitFor([&] { return runtime_->Link()->ConnectionCount() == 2; }));
        window_->StatusTick();
        EXPECT_EQ(Status(2), "Соединения: 2");
    }
    ASSERT_TRUE(WaitFor([&] { return runtime_->Link()->ConnectionCount() == 0; }));
    window_->StatusTick();
    EXPECT_EQ(Status(2), "Соединения: 0");
}

TEST_F(ShellTest, UpLoadButtonsNeedASelectionInBothLists) {
    PrepareDatabase({"INSERT into CTR (ID,Comment) values('00A1','')"});
    StartWindow();
    window_->PageOf(PageId::UpLoad)->RunLoader();
    auto* ctrs = Find<QListWidget>("ListBoxWorkCtr");
    auto* meters = Find<QListWidget>("ListBoxWorkMeter");
    // The lists' own selection rules stay out of this.
    const QSignalBlocker blockCtrs(ctrs), blockMeters(meters);
    const auto enabledAfterTick = [&] {
        window_->StatusTick();
        return Enabled("ButtonWorkUpLoad");
    };
    EXPECT_FALSE(enabledAfterTick());
    ctrs->item(1)->setSelected(true);
    EXPECT_FALSE(enabledAfterTick());
    meters->item(0)->setSelected(true);
    EXPECT_TRUE(enabledAfterTick());
    ctrs->clearSelection();
    EXPECT_FALSE(enabledAfterTick());
}

TEST_F(ShellTest, DatabaseErrorOfAPageIsShownAndTheActionStops) {
    PrepareDatabase({"DROP TABLE CustomGroup"});
    OpenPage(PageId::Categories);
    const auto errors = messages_->errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("Error executing SQL"), std::string::npos) << errors[0];
    EXPECT_NE(errors[0].find("no such table: CustomGroup"), std::string::npos) << errors[0];
    // The loader stopped before it finished: no node under the root.
    EXPECT_EQ(ChildTexts(Find<QTreeWidget>("TreeViewAdminCategory")).size(), 0);
}

TEST_F(ShellTest, UnopenableDatabaseStopsStartUp) {
    std::filesystem::create_directories(dir_.path() / "ZarnicBox.db");
    runtime_ = std::make_unique<server::Runtime>(server::RuntimeOptions{dir_.path(), 0});
    window_ = std::make_unique<app::MainWindow>(*runtime_);
    EXPECT_FALSE(window_->Start());
    ASSERT_EQ(messages_->errors().size(), 1u);
    EXPECT_EQ(messages_->errors()[0].rfind("Failed to open database", 0), 0u)
        << messages_->errors()[0];
}

}  // namespace
}  // namespace zb::apptest
