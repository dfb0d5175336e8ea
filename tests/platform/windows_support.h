#pragma once
// What the platform tests need on Windows that POSIX gives them elsewhere:
// setenv and unsetenv, a registry key of their own under HKEY_CURRENT_USER
// (removed with everything in it afterwards), and child processes that run
// one test of this same program.
#ifdef _WIN32

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdlib.h>

#include <cstdio>
#include <random>
#include <set>
#include <string>

// The layers read the system's environment, the tests the C library's:
// both are set.
inline int setenv(const char* name, const char* value, int overwrite) {
    if (!overwrite && std::getenv(name)) return 0;
    const std::string assignment = std::string(name) + "=" + value;
    if (::_putenv(assignment.c_str()) != 0) return -1;
    return ::SetEnvironmentVariableA(name, value) ? 0 : -1;
}

inline int unsetenv(const char* name) {
    (void)::_putenv((std::string(name) + "=").c_str());
    (void)::SetEnvironmentVariableA(name, nullptr);
    return 0;
}

namespace tessaly::testing_support {

inline std::wstring wideKey(const std::string& path) { return std::wstring(path.begin(), path.end()); }

// A fresh key under HKEY_CURRENT_USER\Software\Tessaly Tests.
class ScratchKey {
public:
    ScratchKey() {
        std::random_device random;
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", unsigned(random()));
        path_ = std::string(kParent) + "\\" + suffix;
    }
    ~ScratchKey() {
        (void)::RegDeleteTreeW(HKEY_CURRENT_USER, wideKey(path_).c_str());
        // The parent goes too once no other test's key is left in it.
        (void)::RegDeleteKeyW(HKEY_CURRENT_USER, wideKey(kParent).c_str());
    }
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    static constexpr const char* kParent = "Software\\Tessaly Tests";
    std::string path_;
};

inline bool keyExists(const std::string& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, wideKey(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

// The lower-cased names of a key's values; none when there is no key.
inline std::set<std::string> valuesIn(const std::string& path) {
    std::set<std::string> names;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, wideKey(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[512];
        DWORD length = 512;
        if (::RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        std::string narrow;
        for (DWORD c = 0; c < length; ++c) {
            const wchar_t w = name[c];
            narrow += char(w >= L'A' && w <= L'Z' ? w + 32 : w);
        }
        names.insert(narrow);
    }
    ::RegCloseKey(key);
    return names;
}

// This test program run again with only `test` selected and the variable
// `role` set to "1", so that the test knows to play the child's part.
class ChildProcess {
public:
    ChildProcess(const char* test, const char* role) {
        wchar_t self[MAX_PATH];
        if (::GetModuleFileNameW(nullptr, self, MAX_PATH) == 0) return;
        std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=" + wideKey(test);
        ::SetEnvironmentVariableA(role, "1");
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &info)) {
            ::CloseHandle(info.hThread);
            process_ = info.hProcess;
        }
        ::SetEnvironmentVariableA(role, nullptr);
    }
    ~ChildProcess() {
        if (!process_) return;
        if (::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) ::TerminateProcess(process_, 99);
        ::CloseHandle(process_);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return process_ != nullptr; }
    HANDLE handle() const { return process_; }
    // The exit code once the child ended, or -1 when it is still running
    // after `milliseconds`.
    long exitCode(DWORD milliseconds = 60000) const {
        if (::WaitForSingleObject(process_, milliseconds) != WAIT_OBJECT_0) return -1;
        DWORD code = 0;
        return ::GetExitCodeProcess(process_, &code) ? long(code) : -1;
    }
    bool kill() const { return ::TerminateProcess(process_, 9) && ::WaitForSingleObject(process_, 60000) == 0; }

private:
    HANDLE process_ = nullptr;
};

// Whether this process plays a child's part.
inline bool isChild(const char* role) { return std::getenv(role) != nullptr; }

}  // namespace tessaly::testing_support

#endif  // _WIN32
