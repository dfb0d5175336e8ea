#include "app/start_up.h"

namespace tessaly::app {

void reportStartUpFailure(UserInterface& ui, StartUpFailure failure) {
    const char* text = "";
    switch (failure) {
    case StartUpFailure::notInstalled:
        text = "Tessaly is not correctly installed. Please reinstall Tessaly.\n\nTessaly will now close.";
        break;
    case StartUpFailure::noPrinter:
        text = "Could not find the Tessaly device. This might happen if you renamed the Tessaly device,\non this "
               "case please restore the name to 'Tessaly' or reinstall Tessaly.\n\nTessaly will now close.";
        break;
    case StartUpFailure::noSpoolDirectory:
        text = "Could not find the Spool directory, this usually means that the installation directory is "
               "corrupted.\nPlease reinstall Tessaly.\n\nTessaly will now close.";
        break;
    }
    showMessage(ui, text, "Tessaly Error", MessageIcon::warning);
}

}  // namespace tessaly::app
