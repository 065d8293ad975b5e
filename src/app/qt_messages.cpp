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

void BoxMessages::Warning(const std::string& text) {
    OnWindowThread([&] {
        return QMessageBox::warning(parent_, "Внимание", DisplayText(text), QMessageBox::Ok);
    });
}

void BoxMessages::Error(const std::string& text) {
    OnWindowThread([&] {
        return QMessageBox::critical(parent_, "Ошибка", DisplayText(text), QMessageBox::Ok);
    });
}

bool BoxMessages::Confirm(const std::string& text) {
    return OnWindowThread([&] {
        return QMessageBox::question(parent_, "Подтверждение", DisplayText(text),
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    });
}

}  // namespace zb::app
