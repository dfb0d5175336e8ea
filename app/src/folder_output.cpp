#include "app/folder_output.h"

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

#include <array>
#include <cerrno>
#include <filesystem>

#include "support/files.h"
#include "support/paths.h"

namespace tessaly::app {

namespace {

constexpr size_t kMaxNameBytes = 200;
constexpr int kMaxVariants = 10000;

// Creates a new file for writing, never one that exists (nor through a
// link of that name): a descriptor, or -1 with errno set.
int createNewFile(const std::string& path) {
#ifdef _WIN32
    const std::u16string wide = pathFromUtf8(path);
    return ::_wopen(std::wstring(wide.begin(), wide.end()).c_str(),
                    _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
#else
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
#endif
}

void removeFile(const std::string& path) { (void)deleteFile(pathFromUtf8(path)); }

bool isTrimmed(char c) { return c == ' ' || c == '.'; }

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace

std::string movieNameForTitle(std::string_view title) {
    std::string name;
    name.reserve(title.size());
    for (const char c : title) {
        const auto byte = static_cast<unsigned char>(c);
        name += byte < 0x20 || byte == 0x7F || c == '/' || c == '\\' ? '_' : c;
    }
    if (const size_t dot = name.rfind('.'); dot != std::string::npos) {
        static constexpr std::array<std::string_view, 10> kDocumentExtensions = {
            ".pdf", ".ps", ".txt", ".doc", ".docx", ".odt", ".htm", ".html", ".rtf", ".swf"};
        const std::string extension = lowerAscii(std::string_view(name).substr(dot));
        for (const std::string_view known : kDocumentExtensions) {
            if (extension == known) {
                name.resize(dot);
                break;
            }
        }
    }
    if (name.size() > kMaxNameBytes) {
        size_t cut = kMaxNameBytes;
        // Never inside a UTF-8 sequence.
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        name.resize(cut);
    }
    size_t first = 0;
    while (first < name.size() && isTrimmed(name[first])) ++first;
    size_t last = name.size();
    while (last > first && isTrimmed(name[last - 1])) --last;
    name = name.substr(first, last - first);
    return name.empty() ? std::string("Untitled") : name;
}

int saveMovieToFolder(const std::string& moviePath, const std::string& folder, std::string_view title,
                      std::string* savedPath) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!std::filesystem::is_directory(folder, ec)) return 0;
    FileHandle in = openFile(std::string_view(moviePath), "rb");
    if (!in) return 0;
    std::string base = folder;
    if (base.empty() || base.back() != '/') base += '/';
    const std::string name = movieNameForTitle(title);
    for (int variant = 1; variant <= kMaxVariants; ++variant) {
        const std::string path =
            base + name + (variant == 1 ? std::string() : " (" + std::to_string(variant) + ")") + ".swf";
        const int fd = createNewFile(path);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return 0;
        }
#ifdef _WIN32
        FileHandle out(::_fdopen(fd, "wb"));
#else
        FileHandle out(::fdopen(fd, "wb"));
#endif
        if (!out) {
#ifdef _WIN32
            ::_close(fd);
#else
            ::close(fd);
#endif
            removeFile(path);
            return 0;
        }
        const int64_t length = seekFile(in.get(), 0, 2) == 0 ? tellFile(in.get()) : -1;
        const bool copied = length >= 0 && seekFile(in.get(), 0, 0) == 0 &&
                            copyBytes(in.get(), out.get(), length) == length;
        if (!closeFile(std::move(out)) || !copied) {
            removeFile(path);
            return 0;
        }
        *savedPath = path;
        return 1;
    }
    return 0;
}

}  // namespace tessaly::app
