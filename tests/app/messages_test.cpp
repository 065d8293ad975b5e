// The message boxes behind the operator-message interface.
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <thread>

#include "app/qt_messages.h"
#include "window_fixture.h"

namespace zb::apptest {
namespace {

// Answers the next modal box with `button` once it is open, remembering its text.
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
    // thread holds while it warns: a warning that waited for its box would never return.
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        messages.Warning("Внимание:\r\nпроверка");
        returned = true;
    });
    worker.join();
    EXPECT_TRUE(returned);

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
