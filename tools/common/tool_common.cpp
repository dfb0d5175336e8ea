#include "tool_common.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

#include "composer/conversion_job.h"
#include "support/paths.h"

namespace fs = std::filesystem;

namespace tessaly::tools {

fs::path programDirectory() {
#ifdef _WIN32
    std::wstring exe(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
    if (n == 0 || n >= exe.size()) return fs::path(".");
    exe.resize(n);
    return fs::path(exe).parent_path();
#else
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path(".") : exe.parent_path();
#endif
}

std::string defaultBaseDirectory() {
    const fs::path dir = programDirectory();
    std::error_code ec;
    for (const fs::path& candidate :
         {dir.parent_path().parent_path() / "data", dir.parent_path() / "share" / "tessaly"}) {
        if (!fs::exists(candidate / "Tessaly.settings", ec)) continue;
#ifdef _WIN32
        // The system's paths are UTF-16; the program's are UTF-8 with "/".
        std::u16string wide(candidate.u16string());
        std::replace(wide.begin(), wide.end(), u'\\', u'/');
        if (const auto path = pathToUtf8(wide)) return *path + "/";
        continue;
#else
        return candidate.string() + "/";
#endif
    }
    return "/usr/local/share/tessaly/";
}

int convertJobToMovie(const std::string& jobDir, const std::string& output, const std::string& base,
                      std::string* failedPath, std::string* reason, uint32_t leaveOut,
                      std::atomic<uint32_t>* pageCounter, ConvertedMovie* movie) {
    ConversionJob job;
    job.setPageCounter(pageCounter);
    job.setBaseDirectory(base.empty() ? defaultBaseDirectory() : base);
    auto failed = [&](const std::string& path, std::string text) {
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        *failedPath = path;
        *reason = text.empty() ? std::string("the conversion failed") : text;
        return 0;
    };
    if (!job.openJob(jobDir)) return failed(jobDir, job.errorText());
    job.settings().mechanics &= ~leaveOut;
    const std::string temporary = output + ".part";
    if (!job.convert(temporary)) {
        std::remove(temporary.c_str());
        return failed(jobDir, job.errorText());
    }
    const int finished =
        ConversionJob::finishMovie(job.settings().interfaceSettings, temporary, output, job.compressed);
    std::remove(temporary.c_str());
    if (!finished) return failed(output, "cannot write the movie");
    if (movie) *movie = {job.docPixelWidth, job.docPixelHeight, job.backgroundColor, job.version};
    return 1;
}

}  // namespace tessaly::tools
