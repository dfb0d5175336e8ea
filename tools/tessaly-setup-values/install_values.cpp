#include "install_values.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "pagesmith/printer_devmode.h"
#include "platform/registry.h"
#include "support/paths.h"
#include "support/text.h"

namespace tessaly {

namespace {

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string directoryValue(std::string path) {
    backslashesToSlashes(path);
    appendSeparator(path);
    return path;
}

}  // namespace

const std::vector<std::string_view>& installValueNames() {
    static const std::vector<std::string_view> names = {
        "BasePath", "SpoolPath", "SpoolPerUser", "MSInterfaceName", "DPI", "SizeIndex",
        "WidthMM1000", "HeightMM1000", "CustomWidthMM1000", "CustomHeightMM1000"};
    return names;
}

int paperRow(std::string_view name) {
    for (size_t row = 0; row < pagesmith::kPaperCount; ++row) {
        const std::string_view full = pagesmith::kPaperTable[row].name;
        if (sameIgnoringCase(name, full)) return int(row);
    }
    for (size_t row = 0; row < pagesmith::kPaperCount; ++row) {
        const std::string_view full = pagesmith::kPaperTable[row].name;
        if (sameIgnoringCase(name, full.substr(0, full.find(' ')))) return int(row);
    }
    return -1;
}

int writeInstallValues(ValueStore& store, const InstallValues& values, bool overwriteDefaults,
                       std::string* error) {
    auto refuse = [&](std::string why) {
        if (error) *error = std::move(why);
        return 0;
    };
    if (values.basePath.empty()) return refuse("the data directory is not given");
    if (values.spoolPath.empty()) return refuse("the spool directory is not given");
    const std::string base = directoryValue(values.basePath);
    const std::string spool = directoryValue(values.spoolPath);
    if (base.front() != '/') return refuse("the data directory must be an absolute path: " + values.basePath);
    if (spool.front() != '/') return refuse("the spool directory must be an absolute path: " + values.spoolPath);
    const int row = paperRow(values.paperName);
    if (row < 0) return refuse("no paper named " + values.paperName);
    if (values.dpi < 1 || values.dpi > 32767) return refuse("a resolution of " + std::to_string(values.dpi) +
                                                            " dpi is out of range (1 to 32767)");

    auto failed = [&](std::string_view name, int code) {
        return refuse("cannot write " + std::string(name) + " into " + store.root() + " (error " +
                      std::to_string(code) + ")");
    };
    for (const auto& [name, text] : {std::pair<std::string_view, const std::string&>{"BasePath", base},
                                     std::pair<std::string_view, const std::string&>{"SpoolPath", spool}}) {
        if (const int code = store.writeString(name, toWide(text)); code != kRegistryOk) return failed(name, code);
    }
    if (const int code = store.writeDword("SpoolPerUser", values.spoolPerUser ? 1 : 0); code != kRegistryOk) {
        return failed("SpoolPerUser", code);
    }

    // The defaults: a value that is there stays unless overwriting.
    auto keep = [&](std::string_view name) {
        RegistryType type;
        return !overwriteDefaults && store.type(name, &type) == kRegistryOk;
    };
    if (!keep("MSInterfaceName")) {
        if (const int code = store.writeString("MSInterfaceName", toWide(values.interfaceName)); code != kRegistryOk) {
            return failed("MSInterfaceName", code);
        }
    }
    const pagesmith::PaperSize& paper = pagesmith::kPaperTable[row];
    // The paper is written as a whole or not at all, so that its size always
    // matches its row.
    const std::pair<std::string_view, uint32_t> paperValues[] = {
        {"SizeIndex", uint32_t(row)}, {"WidthMM1000", paper.width}, {"HeightMM1000", paper.height}};
    if (!keep("SizeIndex")) {
        for (const auto& [name, value] : paperValues) {
            if (const int code = store.writeDword(name, value); code != kRegistryOk) return failed(name, code);
        }
    }
    // A custom size starts as 4 x 6 inch, as a fresh printer has it.
    const std::pair<std::string_view, uint32_t> dwords[] = {
        {"DPI", values.dpi}, {"CustomWidthMM1000", 101600}, {"CustomHeightMM1000", 152399}};
    for (const auto& [name, value] : dwords) {
        if (keep(name)) continue;
        if (const int code = store.writeDword(name, value); code != kRegistryOk) return failed(name, code);
    }
    return 1;
}

int removeInstallValues(ValueStore& store, std::string* error) {
    for (const std::string_view name : installValueNames()) {
        const int code = store.deleteValue(name);
        if (code != kRegistryOk && code != kRegistryNotFound) {
            if (error) *error = "cannot delete " + std::string(name) + " from " + store.root() + " (error " +
                                std::to_string(code) + ")";
            return 0;
        }
    }
    return 1;
}

int prepareSpoolRoot(const std::string& path, bool perUser, std::string* error) {
    auto refuse = [&](std::string why) {
        if (error) *error = path + ": " + why;
        return 0;
    };
    if (path.empty() || path.front() != '/') return refuse("not an absolute path");
    std::string directory = path;
    while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::symlink_status(directory, ec);
    if (status.type() == std::filesystem::file_type::symlink) return refuse("is a symbolic link");
    if (status.type() == std::filesystem::file_type::not_found) {
        const std::filesystem::path parent = std::filesystem::path(directory).parent_path();
        std::filesystem::create_directories(parent, ec);
        if (ec) return refuse("cannot create its parent: " + ec.message());
        if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) return refuse(std::strerror(errno));
    } else if (status.type() != std::filesystem::file_type::directory) {
        return refuse("is not a directory");
    }
    struct stat info {};
    if (::lstat(directory.c_str(), &info) != 0) return refuse(std::strerror(errno));
    if (!S_ISDIR(info.st_mode)) return refuse("is not a directory");
    if (::chmod(directory.c_str(), perUser ? 01733 : 01777) != 0) return refuse(std::strerror(errno));
    return 1;
}

}  // namespace tessaly
