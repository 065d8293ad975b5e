// Start-up, login, navigation, keyboard, log and message boxes of the real window.
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <thread>

#include "app/qt_messages.h"
#include "base/log.h"
#include "storage/stored_text.h"
#include "window_fixture.h"

namespace zb::apptest {
namespace {

using app::PageId;

using ShellTest = WindowTest;

TEST_F(ShellTest, WrongTextsAreRefusedAndEnterLogsInThePrefilledAdministrator) {
    StartWindow();
    EXPECT_EQ(Edit("EditLogin")->text() + Edit("EditPassword")->text(), "KREMUKREMU");
    LoginAs("KREMU", "NOPE");
    LoginAs("NOBODY", "KREMU");
    EXPECT_EQ(messages_->warnings(),
              (std::vector<std::string>{"Неверный Пароль!", "Неверный Логин!"}));

    // Typed letters become capitals; Enter anywhere on the login panel logs in.
    Edit("EditLogin")->clear();
    Type(Edit("EditLogin"), "kremu");
    Edit("EditPassword")->setText("KREMU");
    Edit("EditLogin")->setFocus();
    QTest::keyClick(Edit("EditPassword"), Qt::Key_Return);
    Flush();
    ASSERT_TRUE(window_->LoggedIn());
    EXPECT_EQ(window_->PageInFront(), window_->PageOf(PageId::Main));
    EXPECT_EQ(Find<QLabel>("StatusPanelLogin")->text(), "KREMU/Администратор");
    EXPECT_TRUE(Enabled("LabelMainAdmin"));
}

TEST_F(ShellTest, OtherOperatorLogsInWithoutAdministration) {
    PrepareDatabase({"INSERT into Operator (Name,Login,Password,XML) values(" +
                     storage::SqlText("Иван") + ",'IVAN','PASS','')"});
    StartWindow();
    LoginAs("ivan", "pass");
    ASSERT_TRUE(window_->LoggedIn());
    EXPECT_FALSE(Enabled("LabelMainAdmin"));
    Press("LabelMainAdmin");
    EXPECT_EQ(window_->PageInFront(), window_->PageOf(PageId::Main));
    // Works and database stay open to everyone.
    ShowPage(PageId::Stat);
}

TEST_F(ShellTest, TrailRecordsTheWayAndLeadsBack) {
    OpenPage(PageId::Operators);
    // A separator does nothing; a page name brings its page back and cuts the trail.
    Click(window_->Trail()->LabelAt(1));
    EXPECT_EQ(window_->Trail()->Count(), 5);
    Click(window_->Trail()->LabelAt(2));
    EXPECT_EQ(window_->Trail()->Texts(), (QStringList{"Main", "-->", "Администрирование"}));
    EXPECT_EQ(window_->PageInFront(), window_->PageOf(PageId::Admin));

    // Only an Alt-click on the main page's background opens the log; the same page twice is
    // appended twice.
    auto* main = window_->PageOf(PageId::Main);
    ShowPage(PageId::Main);
    QTest::mouseClick(main, Qt::LeftButton, {}, QPoint(main->width() - 20, main->height() - 20));
    EXPECT_EQ(window_->PageInFront(), main);
    ShowPage(PageId::Log);
    window_->NavigateTo(window_->PageOf(PageId::Log));
    EXPECT_EQ(window_->Trail()->Texts(), (QStringList{"Main", "-->", "Журнал", "-->", "Журнал"}));
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

// A database the window cannot open stops the start; an error of a page's statement is shown
// and stops what the page was doing.
TEST_F(ShellTest, DatabaseErrorsAreShownAndStopTheAction) {
    std::filesystem::create_directories(dir_.path() / "ZarnicBox.db");
    runtime_ = std::make_unique<server::Runtime>(server::RuntimeOptions{dir_.path(), 0});
    window_ = std::make_unique<app::MainWindow>(*runtime_);
    EXPECT_FALSE(window_->Start());
    EXPECT_EQ(messages_->errors().size(), 1u);
    window_.reset();
    std::filesystem::remove(dir_.path() / "ZarnicBox.db");
    PrepareDatabase({"DROP TABLE CustomGroup"});
    OpenPage(PageId::Categories);
    ASSERT_EQ(messages_->errors().size(), 2u);
    EXPECT_NE(messages_->errors()[1].find("no such table: CustomGroup"), std::string::npos);
    // The loader stopped before it finished: no node under the root.
    EXPECT_EQ(ChildTexts(Find<QTreeWidget>("TreeViewAdminCategory")).size(), 0);
}

// The message boxes behind the operator-message interface: answers the next modal box with `button`
// once it is open, remembering its text.
void AnswerNextBox(QString* text, QMessageBox::StandardButton button) {
    QTimer::singleShot(0, [text, button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            AnswerNextBox(text, button);
            return;
        }
        *text = box->text();
        box->button(button)->click();
    });
}

TEST(BoxMessages, WarningFromAConnectionThreadDoesNotWaitForTheWindow) {
    app::BoxMessages messages;
    // The window thread waits for the connection thread here, as it may wait for a lock that
    // thread holds while it warns: a warning that waited for its box would never return, and the
    // join would hang.
    std::thread worker([&] { messages.Warning("Внимание:\r\nпроверка"); });
    worker.join();

    QString shown;
    AnswerNextBox(&shown, QMessageBox::Ok);
    ASSERT_TRUE(WindowTest::WaitFor([&] { return !shown.isEmpty(); }));
    EXPECT_EQ(shown, "Внимание:\nпроверка");
}

TEST(BoxMessages, QuestionWaitsForItsAnswer) {
    app::BoxMessages messages;
    QString shown;
    AnswerNextBox(&shown, QMessageBox::Yes);
    EXPECT_TRUE(messages.Confirm("Удалить?"));
    EXPECT_EQ(shown, "Удалить?");
    AnswerNextBox(&shown, QMessageBox::No);
    EXPECT_FALSE(messages.Confirm("Ещё раз?"));
    EXPECT_EQ(shown, "Ещё раз?");
}

}  // namespace
}  // namespace zb::apptest
