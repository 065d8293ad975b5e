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

TEST_F(ShellTest, StartsAsSmallLoginWindowWithThePrefilledAdministrator) {
    StartWindow();
    EXPECT_EQ(window_->windowTitle(), "ZarnicBox Rev.0.3.24");
    EXPECT_TRUE(window_->LoginPanelInFront());
    EXPECT_EQ(window_->size(), QSize(278, 178));
    EXPECT_EQ(Edit("EditLogin")->text(), "KREMU");
    EXPECT_EQ(Edit("EditPassword")->text(), "KREMU");
    EXPECT_EQ(Edit("EditPassword")->echoMode(), QLineEdit::Normal);
    EXPECT_FALSE(window_->statusBar()->isVisible());
    EXPECT_EQ(window_->Trail()->Texts(), QStringList{"Main"});
    EXPECT_EQ(Status(3), "Files");
    EXPECT_EQ(Count("Operator"), 1);

    // Enter anywhere on the login panel logs in.
    Edit("EditLogin")->setFocus();
    QTest::keyClick(Edit("EditPassword"), Qt::Key_Return);
    Flush();
    ASSERT_TRUE(window_->LoggedIn());
    EXPECT_FALSE(window_->LoginPanelInFront());
    EXPECT_EQ(window_->PageInFront(), window_->PageOf(PageId::Main));
    EXPECT_EQ(window_->size(), QSize(1024, 768));
    EXPECT_TRUE(window_->statusBar()->isVisible());
    EXPECT_EQ(Status(0), "KREMU/Администратор");
    EXPECT_TRUE(Find<QWidget>("LabelMainAdmin")->isEnabled());
    EXPECT_EQ(window_->CurrentOperator()->uid, 1);
    EXPECT_TRUE(messages_->warnings().empty());
    // The trail is unchanged by the login.
    EXPECT_EQ(window_->Trail()->Texts(), QStringList{"Main"});
}

TEST_F(ShellTest, WrongLoginOrPasswordWarnsAndKeepsThePanel) {
    StartWindow();
    LoginAs("KREMU", "NOPE");
    LoginAs("NOBODY", "KREMU");
    EXPECT_EQ(messages_->warnings(),
              (std::vector<std::string>{"Неверный Пароль!", "Неверный Логин!"}));
    EXPECT_FALSE(window_->LoggedIn());
    EXPECT_TRUE(window_->LoginPanelInFront());
    EXPECT_EQ(Edit("EditLogin")->text(), "NOBODY");
    EXPECT_EQ(window_->size(), QSize(278, 178));

    // Typed letters become capitals, Cyrillic ones too.
    Edit("EditLogin")->clear();
    Type(Edit("EditLogin"), "kremu");
    EXPECT_EQ(Edit("EditLogin")->text(), "KREMU");
    Edit("EditPassword")->clear();
    Type(Edit("EditPassword"), "пароль-ё");
    EXPECT_EQ(Edit("EditPassword")->text(), QString("ПАРОЛЬ-Ё"));
}

TEST_F(ShellTest, OtherOperatorLogsInWithoutAdministration) {
    PrepareDatabase({"INSERT into Operator (Name,Login,Password,XML) values(" +
                     storage::SqlText("Иван") + ",'IVAN','PASS','')"});
    StartWindow();
    // Two operators: nothing is pre-filled.
    EXPECT_EQ(Edit("EditLogin")->text(), "");
    EXPECT_EQ(Edit("EditPassword")->text(), "");
    LoginAs("ivan", "pass");
    ASSERT_TRUE(window_->LoggedIn());
    EXPECT_EQ(Status(0), "IVAN/Иван");
    EXPECT_FALSE(Find<QWidget>("LabelMainAdmin")->isEnabled());
    Click(Find<QWidget>("LabelMainAdmin"));
    EXPECT_EQ(window_->PageInFront(), window_->PageOf(PageId::Main));
    // Works and database stay open to everyone.
    Click(Find<QWidget>("LabelMainWork"));
    EXPECT_EQ(window_->PageInFront(), window_->PageOf(PageId::Work));
}

TEST_F(ShellTest, TrailRecordsTheWayAndLeadsBack) {
    OpenAdminPage("LabelAdminOperator");
    const QStringList five{"Main", "-->", "Администрирование", "-->", "Операторы"};
    EXPECT_EQ(window_->Trail()->Texts(), five);
    EXPECT_EQ(window_->PageInFront(), window_->PageOf(PageId::Operators));

    QLabel* name = window_->Trail()->LabelAt(2);
    EXPECT_EQ(name->font().family(), "Times New Roman");
    EXPECT_EQ(name->font().pointSize(), 14);
    EXPECT_TRUE(name->font().underline());
    EXPECT_EQ(name->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(name->styleSheet().contains("navy"));
    QLabel* separator = window_->Trail()->LabelAt(1);
    EXPECT_EQ(separator->font().pointSize(), 12);
    EXPECT_FALSE(separator->font().underline());
    EXPECT_GT(separator->x(), window_->Trail()->LabelAt(0)->geometry().right());

    // A separator does nothing; a page name brings its page back and cuts the trail.
    const int loads = window_->PageOf(PageId::Admin)->Loads();
    Click(separator);
    EXPECT_EQ(window_->Trail()->Count(), 5);
    Click(window_->Trail()->LabelAt(2));
    Flush();
    EXPECT_EQ(window_->Trail()->Texts(), (QStringList{"Main", "-->", "Администрирование"}));
    EXPECT_EQ(window_->PageInFront(), window_->PageOf(PageId::Admin));
    EXPECT_EQ(window_->PageOf(PageId::Admin)->Loads(), loads);
    Click(window_->Trail()->LabelAt(0));
    Flush();
    EXPECT_EQ(window_->Trail()->Texts(), QStringList{"Main"});
    EXPECT_EQ(window_->PageInFront(), window_->PageOf(PageId::Main));

    // No de-duplication: the same page twice is appended twice.
    window_->NavigateTo(window_->PageOf(PageId::Log));
    window_->NavigateTo(window_->PageOf(PageId::Log));
    EXPECT_EQ(window_->Trail()->Texts(), (QStringList{"Main", "-->", "Журнал", "-->", "Журнал"}));
}

TEST_F(ShellTest, EveryPageIsReachableWithItsCaption) {
    StartWindow();
    LoginAs("KREMU", "KREMU");
    struct Way {
        std::vector<const char*> links;
        PageId page;
        const char* caption;
    };
    const Way ways[] = {
        {{"LabelMainWork", "LabelWorkLib"}, PageId::Library, "Библиотека"},
        {{"LabelMainWork", "LabelWorkUpLoad"}, PageId::UpLoad, "Загрузить"},
        {{"LabelMainWork", "LabelWorkDelete"}, PageId::Delete, "Удалить"},
        {{"LabelMainWork", "LabelWorkStat"}, PageId::Stat, "Статистика"},
        {{"LabelMainData"}, PageId::Data, "Данные"},
        {{"LabelMainAdmin", "LabelAdminOperator"}, PageId::Operators, "Операторы"},
        {{"LabelMainAdmin", "LabelAdminCtr"}, PageId::Ctr, "Концентраторы"},
        {{"LabelMainAdmin", "LabelAdminMP"}, PageId::MeasuringPoints, "Точки учёта"},
        {{"LabelMainAdmin", "LabelAdminCustomer"}, PageId::Customers, "Клиенты"},
        {{"LabelMainAdmin", "LabelAdminContract"}, PageId::Contracts, "Договоры"},
        {{"LabelMainAdmin", "LabelAdminAccount"}, PageId::Accounts, "Лицевые счета"},
        {{"LabelMainAdmin", "LabelAdminBalance"}, PageId::Balance, "Балансовые группы"},
        {{"LabelMainAdmin", "LabelAdminCategory"}, PageId::Categories, "Категории точек учёта"},
        {{"LabelMainAdmin", "LabelAdminProvider"}, PageId::Providers, "Поставщики"},
    };
    for (const auto& way : ways) {
        Click(window_->Trail()->LabelAt(0));
        for (const char* link : way.links) {
            Click(Find<QWidget>(link));
        }
        Flush();
        EXPECT_EQ(window_->PageInFront(), window_->PageOf(way.page)) << way.caption;
        EXPECT_EQ(window_->Trail()->Texts().last(), QString(way.caption));
        EXPECT_EQ(window_->PageOf(way.page)->Loads(), 1) << way.caption;
    }
    // The data links carry no action.
    Click(window_->Trail()->LabelAt(0));
    Click(Find<QWidget>("LabelMainData"));
    EXPECT_FALSE(Find<QWidget>("LabelDataReports")->isEnabled());
    EXPECT_FALSE(Find<QWidget>("LabelDataManual")->isEnabled());
    EXPECT_TRUE(messages_->errors().empty());
}

TEST_F(ShellTest, F5ReloadsOnlyTheRefreshingPages) {
    OpenAdminPage("LabelAdminOperator");
    ASSERT_EQ(window_->PageOf(PageId::Operators)->Loads(), 1);
    // The operators page is not read again: a row added meanwhile stays out of its tree.
    storage::Database().ExecuteSql(
        "INSERT into Operator (Name,Login,Password) values('Новый','NEW','1')");
    QTest::keyClick(window_.get(), Qt::Key_F5);
    EXPECT_EQ(window_->PageOf(PageId::Operators)->Loads(), 1);
    EXPECT_EQ(Find<QTreeWidget>("TreeViewAdminOperator")->topLevelItem(0)->childCount(), 1);

    for (const auto& [id, reloads] :
         {std::pair{PageId::MeasuringPoints, true}, std::pair{PageId::UpLoad, true},
          std::pair{PageId::Delete, true}, std::pair{PageId::Stat, false}}) {
        ShowPage(id);
        const int loads = window_->PageOf(id)->Loads();
        QTest::keyClick(window_.get(), Qt::Key_F5);
        EXPECT_EQ(window_->PageOf(id)->Loads(), loads + (reloads ? 1 : 0)) << static_cast<int>(id);
    }
}

TEST_F(ShellTest, AltClickOnTheMainBackgroundOpensTheLog) {
    StartWindow();
    LoginAs("KREMU", "KREMU");
    auto* main = window_->PageOf(PageId::Main);
    const QPoint background(main->width() - 20, main->height() - 20);
    QTest::mouseClick(main, Qt::LeftButton, {}, background);
    EXPECT_EQ(window_->PageInFront(), main);
    ClickAlt(main, background);
    EXPECT_EQ(window_->PageInFront(), window_->PageOf(PageId::Log));
    EXPECT_EQ(window_->Trail()->Texts(), (QStringList{"Main", "-->", "Журнал"}));
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
    EXPECT_TRUE(memo->isReadOnly());
}

TEST_F(ShellTest, StatusTickShowsTimeConnectionsAndFiles) {
    StartWindow();
    LoginAs("KREMU", "KREMU");
    ASSERT_NE(runtime_->Link(), nullptr);
    window_->StatusTick();
    EXPECT_EQ(Status(0), "KREMU/Администратор");
    EXPECT_TRUE(QRegularExpression("^\\d{2}\\.\\d{2}\\.\\d{4} \\d{1,2}:\\d{2}:\\d{2}$")
                    .match(Status(1))
                    .hasMatch())
        << Status(1).toStdString();
    EXPECT_EQ(Status(2), "Соединения: 0");
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
    auto* button = Find<QPushButton>("ButtonWorkUpLoad");
    // The lists' own selection rules stay out of this.
    const QSignalBlocker blockCtrs(ctrs), blockMeters(meters);
    window_->StatusTick();
    EXPECT_FALSE(button->isEnabled());
    ctrs->item(1)->setSelected(true);
    window_->StatusTick();
    EXPECT_FALSE(button->isEnabled());
    meters->item(0)->setSelected(true);
    window_->StatusTick();
    EXPECT_TRUE(button->isEnabled());
    ctrs->clearSelection();
    window_->StatusTick();
    EXPECT_FALSE(button->isEnabled());
}

TEST_F(ShellTest, DatabaseErrorOfAPageIsShownAndTheActionStops) {
    PrepareDatabase({"DROP TABLE CustomGroup"});
    OpenAdminPage("LabelAdminCategory");
    const auto errors = messages_->errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("Error executing SQL"), std::string::npos) << errors[0];
    EXPECT_NE(errors[0].find("no such table: CustomGroup"), std::string::npos) << errors[0];
    // The loader stopped before it finished: no node under the root.
    auto* tree = Find<QTreeWidget>("TreeViewAdminCategory");
    EXPECT_EQ(tree->topLevelItem(0)->childCount(), 0);
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
