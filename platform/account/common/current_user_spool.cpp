// The user's own spool directory from the installation's values: the same on
// every system, over the system's user name and private directory.
#include "composer/settings.h"
#include "platform/user_spool.h"

namespace tessaly {

int currentUserSpoolDirectory(std::string* spool, std::string* error) {
    const std::string user = currentUserName();
    bool perUser = false;
    if (!readSpoolDirectory(user, spool, &perUser)) {
        if (error) {
            if (!spool->empty() || !perUser) {
                *error = "the spool directory (SpoolPath) is not set";
            } else {
                *error = user.empty() ? std::string("the user has no name for a spool directory")
                                      : "the user name " + user + " cannot name a spool directory";
            }
        }
        return 0;
    }
    if (perUser && !preparePrivateDirectory(*spool, error)) return 0;
    return 1;
}

}  // namespace tessaly
