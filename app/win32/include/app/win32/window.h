#pragma once
// The application's window on Windows: a dialog from the program's resources
// with the Flash Player control in it. It draws and forwards events; the
// logic stays in the job monitor and the saving code, reached through the
// UserInterface it implements.

#include <memory>

#include "app/automatic_printing.h"
#include "app/user_interface.h"

namespace tessaly::app {

// The desktop is always there: true.
bool openDisplay(int* argc, char*** argv);

// Shows the main window and runs it until it closes; the exit status.
int runWindow(const CommandLine& options);

// Message boxes without a window (the command line's printing).
std::unique_ptr<UserInterface> makeDesktopMessages();

}  // namespace tessaly::app
