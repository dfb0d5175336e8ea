#include "platform/spooler_records.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tessaly::spooler {

std::string Record::get(std::string_view key) const {
    for (const auto& [k, v] : entries_) {
        if (k == key) return v;
    }
    return {};
}

std::vector<std::string> Record::all(std::string_view key) const {
    std::vector<std::string> out;
    for (const auto& [k, v] : entries_) {
        if (k == key) out.push_back(v);
    }
    return out;
}

void Record::set(std::string_view key, std::string_view value) {
    for (auto& [k, v] : entries_) {
        if (k == key) {
            v = value;
            return;
        }
    }
    add(key, value);
}

void Record::add(std::string_view key, std::string_view value) {
    for (const auto& [k, v] : entries_) {
        if (k == key && v == value) return;
    }
    entries_.emplace_back(std::string(key), std::string(value));
}

Record parseRecord(std::string_view text) {
    Record record;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos || eq == 0) continue;
        record.add(line.substr(0, eq), line.substr(eq + 1));
    }
    return record;
}

int readRecord(const std::string& path, Record* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return 0;
    std::ostringstream text;
    text << in.rdbuf();
    if (text.str().size() > (1u << 20)) return 0;
    *out = parseRecord(text.str());
    return 1;
}

int writeRecord(const std::string& path, const Record& record) {
    std::string text;
    for (const auto& [k, v] : record.entries()) {
        if (k.find_first_of("=\n\r") != std::string::npos || v.find_first_of("\n\r") != std::string::npos) return 0;
        text += k + "=" + v + "\n";
    }
    const std::string temp = path + ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!(out << text) || !out.flush()) return 0;
    }
    return std::rename(temp.c_str(), path.c_str()) == 0 ? 1 : 0;
}

std::string fileNameOf(std::string_view name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '_' || (c == '.' && i > 0);
        if (plain) {
            out.push_back(char(c));
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

bool safeFileName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

std::string driverRecordPath(const std::string& driverDir, std::string_view driverName) {
    return driverDir + "/3/" + fileNameOf(driverName) + ".driver";
}

std::string portRecordPath(const std::string& driverDir, std::string_view portName) {
    return driverDir + "/ports/" + fileNameOf(portName) + ".port";
}

namespace {

std::string programDirectory() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : self.parent_path().string();
}

std::string fromEnvironment(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : fallback;
}

}  // namespace

std::string cupsBackendDirectory() {
    return fromEnvironment("CUPS_SERVERBIN", TESSALY_CUPS_SERVERBIN) + "/backend";
}

std::string backendProgramPath() {
    // Beside deploykit in the build tree; installed, in the private library
    // directory (the copy CUPS runs lives in CUPS's own backend directory).
    const std::string dir = programDirectory();
    std::string path = dir + "/tessaly-backend";
    if (::access(path.c_str(), X_OK) != 0) path = dir + "/../lib/tessaly/tessaly-backend";
    return fromEnvironment("TESSALY_BACKEND_PROGRAM", path);
}

std::string printProgramPath() {
    return fromEnvironment("TESSALY_PRINT_PROGRAM", programDirectory() + "/tessaly-print");
}

}  // namespace tessaly::spooler
