#pragma once
// The job writer: the job directory under the spool directory and its files
// (media.mml through the scrambler, media.settings, _status, the raster pages
// and the font files), in the order the application relies on.

#include <cstdint>
#include <string>
#include <string_view>

#include "device.h"

namespace tessaly::pagesmith {

inline constexpr int kJobNameTries = 10;
// The output flags a job gets with a one-shot output location but no flags.
inline constexpr uint32_t kDefaultNextOutputFlags = 0x101;

// Closes media.mml (without an end) and empties the job's tables and counters.
void releaseJob(DriverDevice& device);

// Creates the job directory and its first files; 0 on failure.
[[nodiscard]] int beginJob(DriverDevice& device);
// Begins the job if none is open, then writes the Media start tag once per job.
[[nodiscard]] int beginDocumentElement(DriverDevice& device);
// The Frame start tag and the status of a page drawn whole.
[[nodiscard]] int beginFrame(DriverDevice& device);
// The raster page (when raster capture is on and rows are given: top-down
// 24-bit rows `stride` bytes apart), the Frame end tag; the page number advances.
[[nodiscard]] int endFrame(DriverDevice& device, const uint8_t* rows, ptrdiff_t stride);
// As beginFrame, with the raster page file created for banded writing.
[[nodiscard]] int beginBandFrame(DriverDevice& device);
// Appends the band at the device's band y (`rows` rows); *continues tells
// whether the page goes on below it. The page's end is written after its
// last band.
[[nodiscard]] int addBand(DriverDevice& device, const uint8_t* rowData, ptrdiff_t stride, int32_t rows,
                          bool* continues);
// The Media end tag, the font files and the final status; media.mml is closed.
void endDocument(DriverDevice& device);

// Replaces the status file's content; 1 on success.
int writeStatus(const DriverDevice& device, std::string_view text);
// The next id of the job (the first is 1).
uint32_t newId(DriverDevice& device);

// Writes plain markup through the scrambler into media.mml; false when no
// job is open or the stream has failed.
bool writeMarkup(DriverDevice& device, std::string_view plain);

// Writes media.settings for the job (document name, one-shot output values,
// the interface); 1 on success.
[[nodiscard]] int writeJobSettings(const DriverDevice& device);

}  // namespace tessaly::pagesmith
