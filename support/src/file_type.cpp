#include "support/file_type.h"

#ifndef TESSALY_SUPPORT_DRIVER

#include "support/files.h"

namespace tessaly {

namespace {

uint8_t lowerAscii(uint8_t c) { return c >= 'A' && c <= 'Z' ? uint8_t(c + ('a' - 'A')) : c; }

// True when the bytes at `at` match the lower-case text, ignoring case.
bool matches(const uint8_t* head, size_t at, std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (lowerAscii(head[at + i]) != uint8_t(text[i])) return false;
    }
    return true;
}

int detectImage(const uint8_t* h) {
    if (matches(h, 0, "bm")) return kFileTypeBmp;
    if (h[0] == 0x89 && matches(h, 1, "png")) return kFileTypePng;
    if (matches(h, 0, "gif")) return kFileTypeGif;
    if (h[0] == 0xFF) return kFileTypeJpeg;
    if (matches(h, 0, "zqi")) return kFileTypeZqi;
    if (h[0] == 0 && matches(h, 1, "bag")) return kFileTypeBag;
    return kFileTypeUnknown;
}

int detectAudio(const uint8_t* h) {
    if (matches(h, 0, "riff") && matches(h, 8, "wave")) return kFileTypeWave;
    if ((h[0] == 0xFF && h[1] >= 0xE0) || matches(h, 0, "id3")) return kFileTypeMp3;
    if (matches(h, 0, "zqa")) return kFileTypeZqa;
    return kFileTypeUnknown;
}

int detectVideo(const uint8_t* h) {
    if (h[0] == 0 && (matches(h, 4, "moov") || matches(h, 4, "mdat"))) return kFileTypeQuickTime;
    if (h[0] == 0 && h[1] == 0 && h[2] == 1) return kFileTypeMpeg;
    if (matches(h, 0, "riff") && matches(h, 8, "avi")) return kFileTypeAvi;
    if (matches(h, 0, "zqv")) return kFileTypeZqv;
    return kFileTypeUnknown;
}

int detectFlash(const uint8_t* h) {
    if (matches(h, 0, "fws")) return kFileTypeSwf;
    if (matches(h, 0, "cws")) return kFileTypeSwfCompressed;
    return kFileTypeUnknown;
}

int detectFile(FileHandle file, uint32_t mask) {
    if (!file) return kFileTypeUnreadable;
    uint8_t head[kFileTypeHeadSize];
    const int64_t n = readUpTo(file.get(), head, sizeof head);
    if (n < 0) return kFileTypeUnreadable;
    return detectFileTypeFromHead(head, size_t(n), mask);
}

}  // namespace

int detectFileTypeFromHead(const uint8_t* head, size_t n, uint32_t mask) {
    if (!head || n < kFileTypeHeadSize) return kFileTypeUnreadable;
    if (mask == 0) mask = kFileClassAll;
    using Detector = int (*)(const uint8_t*);
    static constexpr struct {
        uint32_t bit;
        Detector detect;
    } kClasses[] = {{kFileClassImage, detectImage},
                    {kFileClassAudio, detectAudio},
                    {kFileClassVideo, detectVideo},
                    {kFileClassFlash, detectFlash}};
    for (const auto& c : kClasses) {
        if (!(mask & c.bit)) continue;
        const int type = c.detect(head);
        if (type != kFileTypeUnknown) return type;
    }
    return kFileTypeUnknown;
}

int detectFileType(std::string_view path, uint32_t mask) {
    return detectFile(openFile(path, "rb"), mask);
}

int detectFileType(std::u16string_view path, uint32_t mask) {
    return detectFile(openFile(path, "rb"), mask);
}

}  // namespace tessaly

#endif  // TESSALY_SUPPORT_DRIVER
