#pragma once
// Compresses a finished SWF movie file in place ("FWS" -> "CWS").

#include <cstdint>
#include <string>

namespace tessaly {

// Compresses the body (everything after the 8-byte header start) of the
// movie at path with zlib at the given level. Returns the new file length;
// 0 when the compressed body would not be smaller (the file is left byte for
// byte as it was); -1 when the file cannot be read, is not an uncompressed
// movie, or cannot be written. The file is replaced through a temporary file
// in the same directory, so a failure never leaves a partly written movie.
[[nodiscard]] int64_t compressSwfFile(const std::string& path, int level);

}  // namespace tessaly
