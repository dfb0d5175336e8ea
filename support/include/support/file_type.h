#pragma once
// Recognising a file's kind from the signature in its first 12 bytes.
// Application only.

#ifndef TESSALY_SUPPORT_DRIVER

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tessaly {

// Classes of the detection mask; 0 selects all of them.
enum FileTypeClass : uint32_t {
    kFileClassImage = 0x40,
    kFileClassAudio = 0x80,
    kFileClassVideo = 0x100,
    kFileClassFlash = 0x200,
    kFileClassAll = 0x3C0,
};

// Detection results: the class bit plus a number within the class.
enum FileType : int {
    kFileTypeUnknown = -1,
    kFileTypeUnreadable = -2,  // cannot be opened, or shorter than 12 bytes
    kFileTypeBmp = 65,
    kFileTypePng = 66,
    kFileTypeJpeg = 67,
    kFileTypeGif = 68,
    kFileTypeZqi = 69,
    kFileTypeBag = 70,
    kFileTypeWave = 129,
    kFileTypeMp3 = 130,
    kFileTypeZqa = 131,
    kFileTypeAvi = 257,
    kFileTypeQuickTime = 258,
    kFileTypeMpeg = 259,
    kFileTypeZqv = 260,
    kFileTypeSwf = 513,
    kFileTypeSwfCompressed = 514,
};

inline constexpr size_t kFileTypeHeadSize = 12;

// Detection on the first bytes of a file; -2 when fewer than 12 are given.
[[nodiscard]] int detectFileTypeFromHead(const uint8_t* head, size_t n, uint32_t mask);
// Reads the first 12 bytes of the file and detects its type.
[[nodiscard]] int detectFileType(std::string_view path, uint32_t mask);
[[nodiscard]] int detectFileType(std::u16string_view path, uint32_t mask);

}  // namespace tessaly

#endif  // TESSALY_SUPPORT_DRIVER
