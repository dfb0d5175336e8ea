// deploykit.exe against the system's own print spooler and service control
// manager: the printer, its driver and its port appear after an install and
// are gone after a removal. The test runs in a Windows installation of its
// own (a private Wine prefix in the build).

#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include "platform/print_spooler.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::wstring widen(const std::string& text) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::wstring binDir() {
    std::wstring dir = widen(TESSALY_BIN_DIR);
    std::replace(dir.begin(), dir.end(), L'/', L'\\');
    // A path of the build machine's root lies on Wine's drive Z:.
    if (dir.size() > 1 && dir[0] == L'\\' && dir[1] != L'\\') dir = L"Z:" + dir;
    return dir;
}

std::wstring scratchDir(const wchar_t* name) {
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    std::wstring dir = std::wstring(temp) + name + L"-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

struct Outcome {
    DWORD exitCode = 0xffffffff;
    std::string output;  // stdout and stderr together
};

std::wstring quoted(const std::wstring& arg) { return L"\"" + arg + L"\""; }

// Runs a program with its arguments and waits (at most two minutes).
Outcome runProgram(const std::wstring& program, const std::vector<std::wstring>& args, const std::wstring& dir) {
    Outcome run;
    std::wstring line = quoted(program);
    for (const std::wstring& arg : args) line += L" " + quoted(arg);
    wchar_t temp[MAX_PATH + 1], name[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    if (!GetTempFileNameW(temp, L"tdk", 0, name)) return run;
    const std::wstring outPath = name;
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return run;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       dir.empty() ? nullptr : dir.c_str(), &startup, &process)) {
        if (WaitForSingleObject(process.hProcess, 120000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 99);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(out);
    std::ifstream in(outPath.c_str(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    run.output = text.str();
    DeleteFileW(outPath.c_str());
    return run;
}

template <typename Info>
std::vector<Info> enumerate(BOOL (*call)(BYTE*, DWORD, DWORD*, DWORD*), std::vector<BYTE>* storage) {
    DWORD needed = 0, count = 0;
    call(nullptr, 0, &needed, &count);
    storage->assign(needed + sizeof(Info), 0);
    if (!call(storage->data(), static_cast<DWORD>(storage->size()), &needed, &count)) return {};
    const auto* first = reinterpret_cast<const Info*>(storage->data());
    return std::vector<Info>(first, first + count);
}

struct Installed {
    bool printer = false, driver = false, port = false;
    DWORD attributes = 0;
    std::wstring printerPort, printerDriver, printProcessor;
};

Installed lookUp(const std::wstring& printer, const std::wstring& driver, const std::wstring& port) {
    Installed found;
    std::vector<BYTE> printers, drivers, ports;
    for (const PRINTER_INFO_2W& info : enumerate<PRINTER_INFO_2W>(
             [](BYTE* b, DWORD n, DWORD* need, DWORD* count) {
                 return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, b, n, need, count);
             },
             &printers)) {
        if (info.pPrinterName && printer == info.pPrinterName) {
            found.printer = true;
            found.attributes = info.Attributes;
            found.printerPort = info.pPortName ? info.pPortName : L"";
            found.printerDriver = info.pDriverName ? info.pDriverName : L"";
            found.printProcessor = info.pPrintProcessor ? info.pPrintProcessor : L"";
        }
    }
    for (const DRIVER_INFO_2W& info : enumerate<DRIVER_INFO_2W>(
             [](BYTE* b, DWORD n, DWORD* need, DWORD* count) {
                 return EnumPrinterDriversW(nullptr, nullptr, 2, b, n, need, count);
             },
             &drivers))
        found.driver |= info.pName && driver == info.pName;
    for (const PORT_INFO_1W& info : enumerate<PORT_INFO_1W>(
             [](BYTE* b, DWORD n, DWORD* need, DWORD* count) { return EnumPortsW(nullptr, 1, b, n, need, count); },
             &ports))
        found.port |= info.pName && port == info.pName;
    return found;
}

std::wstring driverDirectory() {
    wchar_t dir[MAX_PATH * 2] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(dir), sizeof(dir), &needed))
        return {};
    return dir;
}

std::wstring systemFile(const std::wstring& name) {
    wchar_t dir[MAX_PATH + 1] = {};
    GetSystemDirectoryW(dir, MAX_PATH + 1);
    return std::wstring(dir) + L"\\" + name;
}

std::string fileText(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The spooler service's state (0 when it cannot be asked).
DWORD spoolerState() {
    DWORD state = 0;
    if (SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT)) {
        if (SC_HANDLE service = OpenServiceW(manager, L"Spooler", SERVICE_QUERY_STATUS)) {
            SERVICE_STATUS status{};
            if (QueryServiceStatus(service, &status)) state = status.dwCurrentState;
            CloseServiceHandle(service);
        }
        CloseServiceHandle(manager);
    }
    return state;
}

class DeploykitProgram : public ::testing::Test {
protected:
    void SetUp() override {
        program_ = binDir() + L"\\deploykit.exe";
        ASSERT_TRUE(exists(program_)) << "deploykit.exe is built beside the tests";
        stubs_ = binDir() + L"\\driver-stub";
        work_ = scratchDir(L"tessaly-deploy");
        SetEnvironmentVariableW(L"TESSALY_NO_MESSAGE_BOX", L"1");
    }
    void TearDown() override {
        for (const wchar_t* name : {L"pagesmith.dll", L"pagesmithui.dll", L"Setup Helper.exe"})
            DeleteFileW((work_ + L"\\" + name).c_str());
        RemoveDirectoryW(work_.c_str());
    }
    // The driver and user-interface libraries as a setup package brings them.
    void provideDriverFiles() {
        for (const wchar_t* name : {L"pagesmith.dll", L"pagesmithui.dll"})
            ASSERT_TRUE(CopyFileW((stubs_ + L"\\" + name).c_str(), (work_ + L"\\" + name).c_str(), FALSE));
    }
    std::vector<std::wstring> verbose(const std::wstring& mode, const std::wstring& direct) const {
        return {mode,         kPrinter,   kDriver, work_ + L"\\pagesmith.dll", work_ + L"\\pagesmithui.dll",
                L"WinPrint", kPort, direct};
    }

    static constexpr const wchar_t* kPrinter = L"Tessaly Test \u00c9dition";
    static constexpr const wchar_t* kDriver = L"Tessaly Test Driver";
    static constexpr const wchar_t* kPort = L"TessalyTestPort";
    std::wstring program_, stubs_, work_;
};

TEST_F(DeploykitProgram, TooFewArgumentsPrintTheUsageAndFail) {
    Outcome run = runProgram(program_, {L"-ui", L"Tessaly"}, work_);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.output.find("usage: deploykit.exe -ui printer_name driver_name driver_dll driverui_dll"),
              std::string::npos)
        << run.output;

    // Under another name, only a missing mode is refused, silently.
    const std::wstring renamed = work_ + L"\\Setup Helper.exe";
    ASSERT_TRUE(CopyFileW(program_.c_str(), renamed.c_str(), FALSE));
    run = runProgram(renamed, {}, work_);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.output, "");
}

TEST_F(DeploykitProgram, InstallsAndRemovesPrinterDriverAndPort) {
    provideDriverFiles();
    Outcome run = runProgram(program_, verbose(L"-ui", L"no"), work_);
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("- New local port TessalyTestPort installed"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("- Installed new printer Tessaly Test \xc3\x89" "dition with new driver"),
              std::string::npos)
        << run.output;

    EXPECT_EQ(spoolerState(), static_cast<DWORD>(SERVICE_RUNNING)) << "the spooler runs again after the install";
    Installed found = lookUp(kPrinter, kDriver, kPort);
    EXPECT_TRUE(found.printer);
    EXPECT_TRUE(found.driver);
    EXPECT_TRUE(found.port);
    EXPECT_EQ(found.printerPort, kPort);
    EXPECT_EQ(found.printerDriver, kDriver);
    EXPECT_EQ(found.attributes & PRINTER_ATTRIBUTE_DIRECT, 0u) << "\"no\" installs without direct printing";
    EXPECT_EQ(fileText(systemFile(kPort)), "*");
    // The verbose manner keeps the files it was given; the copies it made in
    // the driver directory are gone again, the spooler's own ones remain.
    EXPECT_TRUE(exists(work_ + L"\\pagesmith.dll"));
    const std::wstring drivers = driverDirectory();
    EXPECT_FALSE(exists(drivers + L"\\pagesmith.dll"));
    EXPECT_TRUE(exists(drivers + L"\\3\\pagesmith.dll"));
    EXPECT_TRUE(exists(drivers + L"\\3\\pagesmithui.dll"));

    // Installing again over the installed printer replaces it.
    run = runProgram(program_, verbose(L"-ui", L"yes"), work_);
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    found = lookUp(kPrinter, kDriver, kPort);
    EXPECT_TRUE(found.printer);
    EXPECT_NE(found.attributes & PRINTER_ATTRIBUTE_DIRECT, 0u);

    run = runProgram(program_, verbose(L"-u", L"no"), work_);
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(spoolerState(), static_cast<DWORD>(SERVICE_RUNNING)) << "a removal leaves the spooler running";
    found = lookUp(kPrinter, kDriver, kPort);
    EXPECT_FALSE(found.printer);
    EXPECT_FALSE(found.driver);
    EXPECT_FALSE(found.port);
    EXPECT_FALSE(exists(systemFile(kPort)));

    // Removing what is not there succeeds.
    run = runProgram(program_, verbose(L"-u", L"no"), work_);
    EXPECT_EQ(run.exitCode, 0u) << run.output;
}

TEST_F(DeploykitProgram, QuietFailureReportsTheErrorNumberAndLeavesNoPrinter) {
    // Under a setup package's name with no driver files at hand: the copy of
    // stage 12 finds no file (error 2).
    const std::wstring renamed = work_ + L"\\Setup Helper.exe";
    ASSERT_TRUE(CopyFileW(program_.c_str(), renamed.c_str(), FALSE));
    Outcome run = runProgram(renamed, {L"-i"}, work_);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.output.find_first_not_of('.'), 1u) << "one dot, for the port of stage 8: " << run.output;
    EXPECT_NE(run.output.find("Tessaly Installation Error"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("mention error number 1200002."), std::string::npos) << run.output;
    EXPECT_FALSE(lookUp(L"Tessaly", L"Tessaly Driver", L"TessalyPort").printer);
    EXPECT_EQ(spoolerState(), static_cast<DWORD>(SERVICE_RUNNING)) << "a failed run starts the spooler again";

    // The quiet removal takes the port away again and deletes the files it
    // was given.
    provideDriverFiles();
    run = runProgram(renamed, {L"-u"}, work_);
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_FALSE(lookUp(L"Tessaly", L"Tessaly Driver", L"TessalyPort").port);
    EXPECT_FALSE(exists(work_ + L"\\pagesmith.dll"));
    EXPECT_FALSE(exists(work_ + L"\\pagesmithui.dll"));
}

bool portRegistered(const wchar_t* port) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports", 0,
                      KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return false;
    const bool found = RegQueryValueExW(key, port, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return found;
}

// Sends the stop control or starts the service, then waits (at most 20 s)
// for `wanted`.
bool bringSpoolerTo(tessaly::spooler::SpoolerService& service, DWORD wanted) {
    const uint32_t code = wanted == SERVICE_STOPPED ? service.sendStop() : service.start();
    if (code != 0 && code != tessaly::spooler::kErrorServiceAlreadyRunning) return false;
    for (int i = 0; i < 80; ++i) {
        if (spoolerState() == wanted) return true;
        Sleep(250);
    }
    return false;
}

// The port through the spooler layer itself: the local port monitor while
// the spooler runs, the registration while it is stopped; the spooler lists
// the port either way, and either way it goes again.
TEST(SpoolerPorts, AddedAndDeletedWithTheSpoolerRunningOrStopped) {
    auto service = tessaly::spooler::win32Service();
    auto spooler = tessaly::spooler::win32Spooler();
    const wchar_t* port = L"TessalyRoutePort";
    ASSERT_TRUE(bringSpoolerTo(*service, SERVICE_RUNNING));

    EXPECT_EQ(spooler->addPort("TessalyRoutePort"), 0u);
    EXPECT_EQ(spooler->addPort("TessalyRoutePort"), 0u) << "a port that exists already is kept";
    EXPECT_TRUE(lookUp(L"", L"", port).port);
    EXPECT_EQ(fileText(systemFile(port)), "*");
    EXPECT_EQ(spooler->deletePort("TessalyRoutePort"), 0u);
    EXPECT_FALSE(lookUp(L"", L"", port).port);
    EXPECT_FALSE(exists(systemFile(port)));

    ASSERT_TRUE(bringSpoolerTo(*service, SERVICE_STOPPED));
    EXPECT_EQ(spooler->addPort("TessalyRoutePort"), 0u);
    EXPECT_TRUE(portRegistered(port));
    EXPECT_EQ(fileText(systemFile(port)), "*");
    ASSERT_TRUE(bringSpoolerTo(*service, SERVICE_RUNNING));
    EXPECT_TRUE(lookUp(L"", L"", port).port);
    ASSERT_TRUE(bringSpoolerTo(*service, SERVICE_STOPPED));
    EXPECT_EQ(spooler->deletePort("TessalyRoutePort"), 0u);
    EXPECT_EQ(spooler->deletePort("TessalyRoutePort"), 0u) << "a port that is gone counts as deleted";
    EXPECT_FALSE(portRegistered(port));
    EXPECT_FALSE(exists(systemFile(port)));
    ASSERT_TRUE(bringSpoolerTo(*service, SERVICE_RUNNING));
    EXPECT_FALSE(lookUp(L"", L"", port).port);

    // The port's file lies in the system directory: a name that would put it
    // elsewhere is refused before anything is registered.
    EXPECT_EQ(spooler->addPort("..\\TessalyRoutePort"), tessaly::spooler::kErrorInvalidParameter);
    EXPECT_EQ(spooler->addPort("C:\\TessalyRoutePort"), tessaly::spooler::kErrorInvalidParameter);
    EXPECT_FALSE(portRegistered(L"..\\TessalyRoutePort"));
}

}  // namespace
