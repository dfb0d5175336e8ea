// deploykit: installs or removes the Tessaly printer. On Linux: the CUPS
// backend, the driver files with the PPD, and the queue; on Windows: the
// local port, the driver with its user-interface library, and the printer.
// Verbose under its own name; quiet under any other (a setup package's),
// reporting a failure in a message box (on stderr on Linux, or on Windows
// when TESSALY_NO_MESSAGE_BOX is set, so that tests never wait for a click).

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

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
    void messageBox(const std::string& title, const std::string& text) override {
#ifdef _WIN32
        const char* noBox = std::getenv("TESSALY_NO_MESSAGE_BOX");
        if (!noBox || !*noBox) {
            MessageBoxW(nullptr, wide(text).c_str(), wide(title).c_str(), MB_OK | MB_ICONWARNING | MB_SYSTEMMODAL);
            return;
        }
#endif
        // The message box of a console run: the title and the text on stderr.
        std::fprintf(stderr, "\n%s: %s\n", title.c_str(), text.c_str());
    }

#ifdef _WIN32
    static std::wstring wide(const std::string& text) {
        const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
        if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
        return out;
    }
#endif
};

#ifdef _WIN32
std::string utf8(const wchar_t* text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

// The arguments in UTF-8 (the narrow argv holds only the code page's
// characters), the first one the program's own path.
std::vector<std::string> commandLine() {
    std::vector<std::string> args;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return args;
    for (int i = 0; i < count; ++i) args.push_back(utf8(wide[i]));
    LocalFree(wide);
    std::vector<wchar_t> path(32768);
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n > 0 && n < path.size() && !args.empty()) args[0] = utf8(path.data());
    return args;
}
#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    const std::vector<std::string> args = commandLine();
#else
    const std::vector<std::string> args(argv, argv + argc);
#endif
    tessaly::installer::DeploySettings settings;
    std::string usage;
    if (tessaly::installer::parseArguments(args, &settings, &usage) != 0) {
        std::fputs(usage.c_str(), stderr);
        return 1;
    }
#ifdef _WIN32
    auto service = tessaly::spooler::win32Service();
    auto spooler = tessaly::spooler::win32Spooler();
#else
    auto service = tessaly::spooler::cupsService();
    auto spooler = tessaly::spooler::cupsSpooler();
#endif
    auto clock = tessaly::spooler::systemClock();
    ConsoleOutput output;
    return tessaly::installer::runDeploy(settings, *service, *spooler, *clock, output).exitCode;
}
