#include "app/qt_messages.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "app/widgets.h"

namespace zb::app {

namespace {

// Runs `show` on the window thread and returns its result.
template <class Show>
auto OnWindowThread(Show show) {
    using Result = decltype(show());
    if (QThread::currentThread() == qApp->thread()) {
        return show();
    }
    Result result{};
    QMetaObject::invokeMethod(
        qApp, [&] { result = show(); }, Qt::BlockingQueuedConnection);
    return result;
}

}  // namespace

// Shows `show` now on the window thread, or queues it there from any other thread.
template <class Show>
void ShowOrQueue(Show show) {
    if (QThread::currentThread() == qApp->thread()) {
        show();
    } else {
        QMetaObject::invokeMethod(qApp, show, Qt::QueuedConnection);
    }
}

void BoxMessages::Warning(const std::string& text) {
    ShowOrQueue([parent = parent_, message = DisplayText(text)] {
        QMessageBox::warning(parent, "Внимание", message, QMessageBox::Ok);
    });
}

void BoxMessages::Error(const std::string& text) {
    ShowOrQueue([parent = parent_, message = DisplayText(text)] {
        QMessageBox::critical(parent, "Ошибка", message, QMessageBox::Ok);
    });
}

bool BoxMessages::Confirm(const std::string& text) {
    return OnWindowThread([&] {
        return QMessageBox::question(parent_, "Подтверждение", DisplayText(text),
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    });
}

}  // namespace zb::app
