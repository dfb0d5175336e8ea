#pragma once
// What the installer leaves for the backend in the driver directory: small
// "key=value" records of drivers (3/<name>.driver: name, driver, config and
// one printer line per printer using it) and ports (ports/<name>.port: name
// and print, the program that prints a PDF into the spool directory).

#include <string>
#include <string_view>
#include <vector>

namespace tessaly::spooler {

class Record {
public:
    std::string get(std::string_view key) const;
    std::vector<std::string> all(std::string_view key) const;
    void set(std::string_view key, std::string_view value);
    void add(std::string_view key, std::string_view value);
    const std::vector<std::pair<std::string, std::string>>& entries() const { return entries_; }

private:
    std::vector<std::pair<std::string, std::string>> entries_;
};

// Reads a record: 1, or 0 when the file is missing or unreadable. Lines
// without '=' are skipped; a value holds no line end.
[[nodiscard]] int readRecord(const std::string& path, Record* out);
// Writes it atomically (temporary file and rename); 1 or 0.
[[nodiscard]] int writeRecord(const std::string& path, const Record& record);
// Parses record text (the same rules as readRecord).
Record parseRecord(std::string_view text);

// A name as a file name: letters, digits, '-', '_' and '.' stay (a leading
// '.' does not), every other byte becomes %XX.
std::string fileNameOf(std::string_view name);
// Whether a plain file name (no directory part, not "." or "..").
bool safeFileName(std::string_view name);

std::string driverRecordPath(const std::string& driverDir, std::string_view driverName);
std::string portRecordPath(const std::string& driverDir, std::string_view portName);

// CUPS's backend directory: CUPS_SERVERBIN/backend, else the one CUPS was
// built with.
std::string cupsBackendDirectory();
// Our backend program and the printing program: TESSALY_BACKEND_PROGRAM and
// TESSALY_PRINT_PROGRAM, else tessaly-backend and tessaly-print beside the
// running program.
std::string backendProgramPath();
std::string printProgramPath();

}  // namespace tessaly::spooler
