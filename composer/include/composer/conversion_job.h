#pragma once
// One print job into one movie: the job index and settings are read, the
// pages composed (with the viewer interface when the settings name one),
// interpreted and encoded, and the movie is written; the finishing step then
// puts the interface parameters in front of it and compresses it when asked.

#include <atomic>
#include <cstdint>
#include <string>

#include "composer/job_index.h"
#include "composer/settings.h"

namespace tessaly {

class ConversionJob {
public:
    // The application's installation directory: the global settings file
    // and the interface directory are found there. Always succeeds.
    int setBaseDirectory(const std::string& directory);
    // Reads the job index ("media.mml") and the job's settings ("media.settings")
    // of the job directory. 1, or 0 with the error text.
    [[nodiscard]] int openJob(const std::string& jobDirectory);
    // The counter the conversion advances page by page, for a progress display.
    void setPageCounter(std::atomic<uint32_t>* counter) { pageCounter_ = counter; }
    // Converts into the file at outputPath. 1, or 0 with the error text.
    [[nodiscard]] int convert(const std::string& outputPath);
    // Writes the final movie: the interface's parameters as variables in front
    // of the temporary movie, compressed when asked (and smaller). 1 or 0.
    [[nodiscard]] static int finishMovie(const InterfaceSettings& interfaceSettings, const std::string& temporaryPath,
                           const std::string& moviePath, bool compress);

    const std::string& errorText() const { return errorText_; }
    const std::string& outputFile() const { return outputFile_; }
    JobSettings& settings() { return settings_; }
    const JobIndex& index() const { return index_; }
    const std::string& jobDirectory() const { return jobDirectory_; }

    // Results of a conversion.
    float docPixelWidth = 0, docPixelHeight = 0;
    uint32_t backgroundColor = 0xEEEEEE;
    uint8_t version = 5;
    bool compressed = false;

private:
    JobSettings settings_;
    JobIndex index_;
    std::string jobDirectory_;
    std::string errorText_;
    std::string outputFile_;
    std::atomic<uint32_t>* pageCounter_ = nullptr;
};

}  // namespace tessaly
