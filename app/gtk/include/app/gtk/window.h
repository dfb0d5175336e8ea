#pragma once
// The application's window over GTK 3, with the movie player (Ruffle) in a
// WebKitGTK view. It draws and forwards events; the logic stays in the job
// monitor and the saving code, reached through the UserInterface it
// implements.

#include "app/automatic_printing.h"

namespace tessaly::app {

// Opens the display; false when there is none (then no window can be shown).
bool openDisplay(int* argc, char*** argv);

// Shows the main window and runs it until it closes; the exit status.
int runWindow(const CommandLine& options);

}  // namespace tessaly::app
