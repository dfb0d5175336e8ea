#pragma once
// The SWF tag codes this system writes or looks at, in one place: the
// encoders, the file reader, the template import and the tests name tags
// through this enumeration. Codes read from a file may be any 10-bit value;
// SwfTag(code) holds those too.

#include <cstdint>

namespace tessaly {

enum class SwfTag : uint16_t {
    End = 0,
    ShowFrame = 1,
    DefineShape = 2,
    PlaceObject = 4,
    RemoveObject = 5,
    DefineBits = 6,
    DefineButton = 7,
    JpegTables = 8,
    SetBackgroundColor = 9,
    DefineFont = 10,
    DefineText = 11,
    DoAction = 12,
    DefineSound = 14,
    SoundStreamBlock = 19,
    DefineBitsLossless = 20,
    DefineBitsJpeg2 = 21,
    DefineShape2 = 22,
    Protect = 24,
    PlaceObject2 = 26,
    RemoveObject2 = 28,
    DefineShape3 = 32,
    DefineText2 = 33,
    DefineButton2 = 34,
    DefineBitsJpeg3 = 35,
    DefineBitsLossless2 = 36,
    DefineEditText = 37,
    DefineSprite = 39,
    FrameLabel = 43,
    DefineMorphShape = 46,
    DefineFont2 = 48,
    ExportAssets = 56,
    EnableDebugger = 58,
    DoInitAction = 59,
    DefineVideoStream = 60,
    DefineFont3 = 75,
    DefineShape4 = 83,
    DefineMorphShape2 = 84,
    DefineBinaryData = 87,
    DefineBitsJpeg4 = 90,
    DefineFont4 = 91,
};

constexpr uint16_t tagCode(SwfTag tag) { return uint16_t(tag); }

// Tags that always keep the 6-byte header, however short their body.
constexpr bool alwaysLongHeader(SwfTag tag) {
    switch (tag) {
        case SwfTag::DefineBits:
        case SwfTag::SoundStreamBlock:
        case SwfTag::DefineBitsLossless:
        case SwfTag::DefineBitsJpeg2:
        case SwfTag::DefineBitsJpeg3:
        case SwfTag::DefineBitsLossless2: return true;
        default: return false;
    }
}

// Header bytes for a body of `length` bytes: 2 below 63 bytes (unless the tag
// always takes the long form), 6 otherwise.
constexpr uint32_t tagHeaderLength(SwfTag tag, uint32_t length) {
    return length < 63 && !alwaysLongHeader(tag) ? 2 : 6;
}

// Tags whose body starts with the id of the character they define.
constexpr bool definesCharacter(SwfTag tag) {
    switch (tag) {
        case SwfTag::DefineShape:
        case SwfTag::DefineBits:
        case SwfTag::DefineButton:
        case SwfTag::DefineFont:
        case SwfTag::DefineText:
        case SwfTag::DefineSound:
        case SwfTag::DefineBitsLossless:
        case SwfTag::DefineBitsJpeg2:
        case SwfTag::DefineShape2:
        case SwfTag::DefineShape3:
        case SwfTag::DefineText2:
        case SwfTag::DefineButton2:
        case SwfTag::DefineBitsJpeg3:
        case SwfTag::DefineBitsLossless2:
        case SwfTag::DefineEditText:
        case SwfTag::DefineSprite:
        case SwfTag::DefineMorphShape:
        case SwfTag::DefineFont2:
        case SwfTag::DefineVideoStream:
        case SwfTag::DefineFont3:
        case SwfTag::DefineShape4:
        case SwfTag::DefineMorphShape2:
        case SwfTag::DefineBinaryData:
        case SwfTag::DefineBitsJpeg4:
        case SwfTag::DefineFont4: return true;
        default: return false;
    }
}

}  // namespace tessaly
