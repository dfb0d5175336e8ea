#pragma once
// What the program tells the user when it cannot start: the installation's
// values are missing, the printer is gone, or the spool directory cannot be
// found. The window, or the monitor without one, then ends with status 1.

#include "app/user_interface.h"

namespace tessaly::app {

enum class StartUpFailure { notInstalled, noPrinter, noSpoolDirectory };

void reportStartUpFailure(UserInterface& ui, StartUpFailure failure);

}  // namespace tessaly::app
