#include "support/file_type.h"

#include <gtest/gtest.h>

#include <string>

#include "scratch_dir.h"

namespace tessaly {
namespace {

using testing_support::ScratchDir;
using testing_support::wide;

int detect(std::string head, uint32_t mask = 0) {
    head.resize(kFileTypeHeadSize, '\0');
    return detectFileTypeFromHead(reinterpret_cast<const uint8_t*>(head.data()), head.size(), mask);
}

TEST(FileType, SignaturesOfEveryClass) {
    EXPECT_EQ(detect("BM6\x0c"), kFileTypeBmp);
    EXPECT_EQ(detect("\x89PNG\r\n"), kFileTypePng);
    EXPECT_EQ(detect("GIF89a"), kFileTypeGif);
    EXPECT_EQ(detect("\xFF\xD8\xFF\xE0"), kFileTypeJpeg);
    EXPECT_EQ(detect("ZQI"), kFileTypeZqi);
    EXPECT_EQ(detect(std::string("\0BAG", 4)), kFileTypeBag);
    EXPECT_EQ(detect(std::string("RIFF\x24\0\0\0WAVE", 12)), kFileTypeWave);
    EXPECT_EQ(detect("ID3\x03"), kFileTypeMp3);
    EXPECT_EQ(detect("zqa"), kFileTypeZqa);
    EXPECT_EQ(detect(std::string("\0\0\0\x20moov", 8)), kFileTypeQuickTime);
    EXPECT_EQ(detect(std::string("\0\0\0\x20MDAT", 8)), kFileTypeQuickTime);
    EXPECT_EQ(detect(std::string("\0\0\x01\xBA", 4)), kFileTypeMpeg);
    EXPECT_EQ(detect(std::string("RIFF\x24\0\0\0AVI ", 12)), kFileTypeAvi);
    EXPECT_EQ(detect("ZQV"), kFileTypeZqv);
    EXPECT_EQ(detect("CWS\x06"), kFileTypeSwfCompressed);
    EXPECT_EQ(detect("fws"), kFileTypeSwf);
    EXPECT_EQ(detect("hello world!"), kFileTypeUnknown);
    EXPECT_EQ(detect(std::string("RIFF\x24\0\0\0WAVX", 12)), kFileTypeUnknown);
}

TEST(FileType, MaskSelectsClassesInOrder) {
    EXPECT_EQ(detect("FWS\x05", kFileClassFlash), kFileTypeSwf);
    EXPECT_EQ(detect("FWS\x05", kFileClassAll), kFileTypeSwf);
    EXPECT_EQ(detect("FWS\x05", kFileClassImage | kFileClassAudio | kFileClassVideo),
              kFileTypeUnknown);
    EXPECT_EQ(detect("BM", kFileClassFlash), kFileTypeUnknown);
    // An MPEG audio frame starts with 0xFF: with images selected it reads as JPEG.
    EXPECT_EQ(detect("\xFF\xFB\x90"), kFileTypeJpeg);
    EXPECT_EQ(detect("\xFF\xFB\x90", kFileClassAudio), kFileTypeMp3);
    EXPECT_EQ(detect("\xFF\xD8", kFileClassAudio), kFileTypeUnknown);
    // A leading zero byte: the bag signature comes before the video ones.
    EXPECT_EQ(detect(std::string("\0bag\0\0\x01", 7), kFileClassVideo), kFileTypeUnknown);
    EXPECT_EQ(detect(std::string("\0\0\x01", 3), kFileClassImage), kFileTypeUnknown);
}

TEST(FileType, ReadsTheFileHead) {
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string swf = dir.put("movie.swf", std::string("FWS\x05\x20\0\0\0\x78\0\x05\x5F\0\0", 14));
    EXPECT_EQ(detectFileType(swf, 0x200), kFileTypeSwf);
    EXPECT_EQ(detectFileType(wide(swf), 0x40), kFileTypeUnknown);
    EXPECT_EQ(detectFileType(dir.put("short", "FWS\x05"), 0), kFileTypeUnreadable);
    EXPECT_EQ(detectFileType(dir / "missing", 0), kFileTypeUnreadable);
    EXPECT_EQ(detectFileType(dir.path(), 0), kFileTypeUnreadable);
    EXPECT_EQ(detectFileTypeFromHead(nullptr, 12, 0), kFileTypeUnreadable);
}

}  // namespace
}  // namespace tessaly
