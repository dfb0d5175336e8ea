#pragma once
// The job's bitmaps: each distinct set of pixel rows is written once, as
// "i<id>.bag" in the job directory, and found again by its size and the
// CRC-32 of its rows (padding included).

#include <string>

#include "device.h"
#include "pixel_rows.h"

namespace tessaly::pagesmith {

// The name of the image file holding the rows. A bitmap not yet in the table
// takes the job's next id and is written (bag header and one record of all
// rows); a file that cannot be written is skipped, the bitmap stays in the
// table and its name is returned all the same.
std::string imageForRows(DriverDevice& device, const PixelRows& rows);

}  // namespace tessaly::pagesmith
