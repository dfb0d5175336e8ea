// deploykit: installs or removes the Tessaly printer (CUPS backend, driver
// files with the PPD, and the queue). Verbose under its own name; quiet
// under any other (a setup package's), reporting a failure on stderr.

#include <cstdio>
#include <string>
#include <vector>

#include "installer/deploy.h"

namespace {

class ConsoleOutput : public tessaly::installer::DeployOutput {
public:
    void out(const std::string& text) override {
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
    }
    void err(const std::string& text) override {
        std::fputs(text.c_str(), stderr);
        std::fflush(stderr);
    }
    // The message box of a console run: the title and the text on stderr.
    void messageBox(const std::string& title, const std::string& text) override {
        std::fprintf(stderr, "\n%s: %s\n", title.c_str(), text.c_str());
    }
};

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    tessaly::installer::DeploySettings settings;
    std::string usage;
    if (tessaly::installer::parseArguments(args, &settings, &usage) != 0) {
        std::fputs(usage.c_str(), stderr);
        return 1;
    }
    auto service = tessaly::spooler::cupsService();
    auto spooler = tessaly::spooler::cupsSpooler();
    auto clock = tessaly::spooler::systemClock();
    ConsoleOutput output;
    return tessaly::installer::runDeploy(settings, *service, *spooler, *clock, output).exitCode;
}
