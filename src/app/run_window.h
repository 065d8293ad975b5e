#pragma once
// The program with its operator window. Without a display it says so on standard error and
// runs headless instead.
#include "server/runtime.h"

namespace zb::app {

// True when a window can be shown: DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM is set.
bool HasDisplay();

int RunWindow(int argc, char** argv, const zb::server::RuntimeOptions& options);

// The application's look: style, palette and font. Used by the program and its page tests.
void ApplyLook();

}  // namespace zb::app
