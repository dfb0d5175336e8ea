#pragma once
// Small value types shared by the SWF encoder, the movie objects and the
// markup interpreter.

#include <cstdint>

namespace tessaly {

// Flags of a placement (the PLACE control record of a movie clip).
namespace place_flag {
inline constexpr uint32_t kHasId = 0x01;
inline constexpr uint32_t kHasName = 0x02;
inline constexpr uint32_t kHasMatrix = 0x04;
inline constexpr uint32_t kHasCxform = 0x08;
inline constexpr uint32_t kMove = 0x20;
inline constexpr uint32_t kHasRatio = 0x40;
inline constexpr uint32_t kHasClipDepth = 0x80;
inline constexpr uint32_t kHasAttachedData = 0x100;
}  // namespace place_flag

// A rectangle in twips, in the order the RECT record holds it.
struct SwfRect {
    int32_t xmin = 0;
    int32_t xmax = 0;
    int32_t ymin = 0;
    int32_t ymax = 0;
    friend bool operator==(const SwfRect&, const SwfRect&) = default;
};

// A 2x3 transform: scale and skew as 16.16 fixed point, translation in twips.
struct SwfMatrix {
    int32_t scaleX = 0x10000;
    int32_t skew0 = 0;  // rotate/skew 0 (b)
    int32_t skew1 = 0;  // rotate/skew 1 (c)
    int32_t scaleY = 0x10000;
    int32_t translateX = 0;
    int32_t translateY = 0;

    bool isIdentity() const {
        return scaleX == 0x10000 && scaleY == 0x10000 && skew0 == 0 && skew1 == 0 &&
               translateX == 0 && translateY == 0;
    }
    friend bool operator==(const SwfMatrix&, const SwfMatrix&) = default;
};

// A colour transform: 8.8 fixed multiply terms (256 = 1.0) and add terms for
// red, green, blue and alpha.
struct SwfCxform {
    static constexpr uint32_t kHasMultiply = 0x1;
    static constexpr uint32_t kHasAdd = 0x2;
    static constexpr uint32_t kHasAlpha = 0x4;

    uint32_t flags = 0;
    int16_t multiply[4] = {256, 256, 256, 256};  // r, g, b, a
    int16_t add[4] = {0, 0, 0, 0};

    bool isIdentity() const {
        const int channels = (flags & kHasAlpha) ? 4 : 3;
        for (int i = 0; i < channels; ++i) {
            if ((flags & kHasMultiply) && multiply[i] != 256) return false;
            if ((flags & kHasAdd) && add[i] != 0) return false;
        }
        return true;
    }
    friend bool operator==(const SwfCxform&, const SwfCxform&) = default;
};

}  // namespace tessaly
