#pragma once
// The printer's device mode: the private part the driver keeps behind the
// public fields, the paper table, and the resolution of the public requests
// (orientation, paper, resolution) into the private part. Everything here
// works on plain values, so tests and the fuzz target reach it directly.

#include <cstddef>
#include <cstdint>
#include <functional>

#include "pagesmith/printer_devmode.h"
#include "platform/winddi.h"

namespace tessaly::pagesmith {

// The row of a paper code; -1 when the table has none (0 and 257 are custom).
int findPaperCode(int code);

// The public fields the driver reads.
struct DevmodeRequests {
    uint32_t fields = 0;  // DM_ bits
    int16_t orientation = 0;
    int16_t paperSize = 0;
    int16_t paperLength = 0;  // tenths of a millimetre
    int16_t paperWidth = 0;
    int16_t printQuality = 0;
    int16_t yResolution = 0;
};

// The requests of a device mode's public fields.
DevmodeRequests requestsOf(const DEVMODEW& devmode);

// The size index a custom size gets: the stored SizeIndex s >= 0 as -(s + 1)
// (a custom size beside the last table row chosen), a negative one as it
// is; without one, A4's row in metric countries and Letter's elsewhere.
int32_t customSizeIndex(bool haveStored, uint32_t stored, bool metric);

// Applies the requests to the private part. customIndex is asked only when
// a custom size is resolved (it reads the registry).
void resolveDevmode(const DevmodeRequests& requests, PrivateDevmode& part,
                    const std::function<int32_t()>& customIndex);

// The checks on a device mode handed to the driver: it is given, carries
// exactly the private part and that part has the signature. Reads the
// private part at dmSize from the start.
bool devmodeAcceptable(const uint8_t* devmode);

// The page in device pixels: micrometres at the resolution, truncated. 0
// when it does not fit a surface row of int32 bytes.
int32_t pagePixels(uint32_t micrometres, uint32_t resolution);

}  // namespace tessaly::pagesmith
