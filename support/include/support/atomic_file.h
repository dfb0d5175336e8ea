#pragma once
// Writing a file so that readers see either the old content or the whole new
// one: the bytes go to a fresh file beside the target, which is then renamed
// over it. On any failure the target is left as it was and no stray file remains.

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

namespace tessaly {

// Writes the parts one after another; 1 on success, 0 on failure. An existing
// target keeps its permissions.
[[nodiscard]] int writeFileAtomically(std::string_view path,
                        std::initializer_list<std::span<const uint8_t>> parts);

}  // namespace tessaly
