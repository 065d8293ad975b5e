#include "app/run_window.h"

#include <QApplication>
#include <QFont>
#include <QPalette>
#include <QStyleFactory>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "app/main_window.h"
#include "app/qt_messages.h"
#include "app/widgets.h"
#include "base/program.h"

namespace zb::app {

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

void ApplyLook() {
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QPalette palette = QApplication::style()->standardPalette();
    palette.setColor(QPalette::Window, QColor(0xf7, 0xf8, 0xfa));
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::AlternateBase, QColor(0xf1, 0xf4, 0xf8));
    palette.setColor(QPalette::Highlight, QColor(0x2f, 0x5d, 0x9e));
    palette.setColor(QPalette::Button, QColor(0xee, 0xf0, 0xf3));
    QApplication::setPalette(palette);
    QFont font("DejaVu Sans");
    font.setPointSize(9);
    QApplication::setFont(font);
}

int RunWindow(int argc, char** argv, const zb::server::RuntimeOptions& options) {
    if (!HasDisplay()) {
        std::cerr << "zarnicbox: no display (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are "
                     "unset); running headless"
                  << std::endl;
        return zb::server::RunHeadless(options);
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(Q(base::Program().windowTitle));
    ApplyLook();

    auto messages = std::make_shared<BoxMessages>();
    auto previous = base::SetMessages(messages);
    int exitCode = 1;
    {
        zb::server::Runtime runtime(options);
        MainWindow window(runtime);
        messages->SetParent(&window);
        if (window.Start()) {
            window.show();
            exitCode = QApplication::exec();
        }
        // The core stops talking to the window before it goes away; the runtime then closes
        // the database and stops the link.
        window.Detach();
    }
    base::SetMessages(previous);
    return exitCode;
}

}  // namespace zb::app
