#include "platform/user_spool.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

#include "composer/settings.h"
#include "support/paths.h"
#include "support/text.h"

namespace tessaly {

namespace {

std::wstring wide(const std::string& utf8) {
    const std::u16string path = pathFromUtf8(utf8);
    return std::wstring(path.begin(), path.end());
}

std::string systemError(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = n && text ? toUtf8(std::u16string(text, text + n)) : "error " + std::to_string(code);
    if (text) ::LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message;
}

}  // namespace

std::string currentUserName() {
    wchar_t name[257];
    DWORD size = sizeof name / sizeof name[0];
    if (!::GetUserNameW(name, &size) || size == 0) return {};
    // The size counts the terminator.
    return toUtf8(std::u16string(name, name + size - 1));
}

int preparePrivateDirectory(const std::string& dir, std::string* error) {
    auto refuse = [&](std::string why) {
        if (error) *error = dir + ": " + why;
        return 0;
    };
    std::string path = dir;
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    const std::wstring name = wide(path);
    if (name.empty()) return refuse("is not a usable name");
    DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD missing = ::GetLastError();
        if (missing != ERROR_FILE_NOT_FOUND && missing != ERROR_PATH_NOT_FOUND) return refuse(systemError(missing));
        // The new directory inherits the spool root's permissions, which let
        // only its creator (and administrators) in.
        if (!::CreateDirectoryW(name.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
            return refuse(systemError(::GetLastError()));
        attributes = ::GetFileAttributesW(name.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return refuse(systemError(::GetLastError()));
    }
    // A junction or symbolic link could lead another user's jobs anywhere.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return refuse("is a symbolic link");
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return refuse("is not a directory");
    return 1;
}

}  // namespace tessaly
