#include "support/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "scratch_dir.h"
#include "support/paths.h"

namespace tessaly {
namespace {

using testing_support::ScratchDir;
using testing_support::slurp;
using testing_support::wide;

std::string pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = char((i * 7 + i / 251) & 0xFF);
    return s;
}

TEST(FileStreams, WriteReadSeekAndTell) {
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir / "stream.bin";
    const std::string data = pattern(10000);
    {
        FileHandle out = openFile(path, "wb");
        ASSERT_TRUE(out);
        EXPECT_EQ(writeAll(out.get(), data.data(), data.size()), int64_t(data.size()));
        EXPECT_EQ(writeAll(out.get(), data.data(), 0), 0);
        EXPECT_EQ(closeFile(std::move(out)), 1);
    }
    FileHandle in = openFile(path, "rb");
    ASSERT_TRUE(in);
    std::vector<char> got(20000);
    EXPECT_EQ(readUpTo(in.get(), got.data(), got.size()), int64_t(data.size()));
    EXPECT_EQ(std::string(got.data(), data.size()), data);
    EXPECT_TRUE(fileEof(in.get()));
    EXPECT_FALSE(fileError(in.get()));

    EXPECT_EQ(seekFile(in.get(), -10, 2), 0);
    EXPECT_EQ(tellFile(in.get()), int64_t(data.size()) - 10);
    EXPECT_EQ(seekFile(in.get(), 5, 1), 0);
    EXPECT_EQ(tellFile(in.get()), int64_t(data.size()) - 5);
    EXPECT_EQ(seekFile(in.get(), 3, 0), 0);
    char c = 0;
    EXPECT_EQ(readUpTo(in.get(), &c, 1), 1);
    EXPECT_EQ(c, data[3]);
    EXPECT_EQ(seekFile(in.get(), 0, 3), -1);
    EXPECT_EQ(seekFile(in.get(), -1, 0), -1);
}

TEST(FileStreams, FailuresAreReported) {
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    EXPECT_FALSE(openFile(dir / "missing", "rb"));
    EXPECT_FALSE(openFile(dir.path(), "rb")) << "a directory is not a file";
    EXPECT_EQ(closeFile(nullptr), 0);
    // A path with a zero byte would reach the OS cut short.
    dir.put("cut", "x");
    std::string cut = dir / "cut";
    cut.push_back('\0');
    cut += "tail";
    EXPECT_FALSE(openFile(cut, "rb"));

    // Reading a stream opened for writing is a read error, not an empty file
    // (Windows' C run-time reads nothing there and sets no error).
    FileHandle out = openFile(dir / "w.bin", "wb");
    ASSERT_TRUE(out);
    char buffer[4];
#ifdef _WIN32
    EXPECT_LE(readUpTo(out.get(), buffer, sizeof buffer), 0);
#else
    EXPECT_EQ(readUpTo(out.get(), buffer, sizeof buffer), -1);
#endif
}

TEST(FileStreams, FullDeviceFailsOnClose) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no device that is always full";
#endif
    FileHandle full = openFile("/dev/full", "wb");
    if (!full) GTEST_SKIP() << "no /dev/full";
    const std::string data = pattern(100);
    // Buffered: the error shows at the latest when the stream is flushed.
    const int64_t wrote = writeAll(full.get(), data.data(), data.size());
    if (wrote >= 0) {
        EXPECT_EQ(closeFile(std::move(full)), 0);
    }
    EXPECT_EQ(printToNewFile("/dev/full", "%s", "lost"), 0);
}

TEST(FileStreams, CopyBytesInChunksAndEarlyEnd) {
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string data = pattern(3 * 4096 + 17);
    const std::string source = dir.put("source.bin", data);

    FileHandle in = openFile(source, "rb");
    FileHandle out = openFile(dir / "copy.bin", "wb");
    ASSERT_TRUE(in && out);
    ASSERT_EQ(seekFile(in.get(), 5, 0), 0);
    EXPECT_EQ(copyBytes(in.get(), out.get(), 4096 + 100), 4096 + 100);
    EXPECT_EQ(copyBytes(in.get(), out.get(), 0), 0);
    EXPECT_EQ(closeFile(std::move(out)), 1);
    EXPECT_EQ(slurp(dir / "copy.bin"), data.substr(5, 4096 + 100));

    // Asking for more than remains is an error, whatever was copied before it.
    FileHandle out2 = openFile(dir / "copy2.bin", "wb");
    ASSERT_EQ(seekFile(in.get(), 0, 0), 0);
    EXPECT_EQ(copyBytes(in.get(), out2.get(), int64_t(data.size()) + 1), -1);
    EXPECT_EQ(copyBytes(in.get(), out2.get(), -1), -1);
}

TEST(FileStreams, PrintFormatted) {
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    FileHandle out = openFile(dir / "a.txt", "w");
    ASSERT_TRUE(out);
    EXPECT_EQ(printToStream(out.get(), "%s=%d;", "width", 640), 10);
    EXPECT_EQ(closeFile(std::move(out)), 1);
    EXPECT_EQ(slurp(dir / "a.txt"), "width=640;");

    EXPECT_EQ(printToNewFile(dir / "b.txt", "end:%d", 12), 1);
    EXPECT_EQ(slurp(dir / "b.txt"), "end:12");
    EXPECT_EQ(printToNewFile(dir / "c.txt", "%s", ""), 0) << "nothing written";
    EXPECT_EQ(printToNewFile(dir / "no/such/dir.txt", "x"), 0);
}

TEST(WholeFiles, WriteAndReadBack) {
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string data = pattern(70000);
    ASSERT_EQ(writeWholeFile(dir / "whole.bin", data.data(), data.size()), 1);
    EXPECT_EQ(fileSize(dir / "whole.bin"), int64_t(data.size()));
    EXPECT_TRUE(fileExists(dir / "whole.bin"));

    SizedBlock block;
    ASSERT_EQ(readWholeFile(dir / "whole.bin", block), 1);
    ASSERT_EQ(block.length, data.size());
    EXPECT_EQ(std::memcmp(block.data.get(), data.data(), data.size()), 0);

    char head[8] = {};
    EXPECT_EQ(readFileHead(dir / "whole.bin", head, sizeof head), 8);
    EXPECT_EQ(std::string(head, 8), data.substr(0, 8));
    EXPECT_EQ(readFileHead(dir / "missing", head, sizeof head), -1);

    // An empty file loads as a valid block of length 0.
    ASSERT_EQ(writeWholeFile(dir / "empty", "", 0), 1);
    SizedBlock empty;
    EXPECT_EQ(readWholeFile(dir / "empty", empty), 1);
    EXPECT_TRUE(empty);
    EXPECT_EQ(empty.length, 0u);
    EXPECT_EQ(fileSize(dir / "empty"), 0);

    EXPECT_EQ(fileSize(dir / "missing"), -1);
    EXPECT_EQ(fileSize(dir.path()), -1);
    EXPECT_FALSE(fileExists(dir / "missing"));
    EXPECT_FALSE(fileExists(dir.path()));
    EXPECT_EQ(writeWholeFile(dir / "no/such/dir", "x", 1), 0);
}

TEST(WholeFiles, WidePathsWithNonAsciiCharacters) {
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    // "Grüße-€-𝄞.txt": two-, three- and four-byte UTF-8 sequences.
    const std::u16string name = u"Gr\u00FC\u00DFe-\u20AC-\U0001D11E.txt";
    const std::u16string path = pathFromUtf8(dir.path()) + u"/" + name;
    ASSERT_EQ(writeWholeFile(path, "abc", 3), 1);
    // The OS sees the UTF-8 name.
    EXPECT_EQ(slurp(dir / "Gr\xC3\xBC\xC3\x9F" "e-\xE2\x82\xAC-\xF0\x9D\x84\x9E.txt"), "abc");
    EXPECT_TRUE(fileExists(path));

    SizedBlock block;
    ASSERT_EQ(readWholeFile(path, block), 1);
    ASSERT_EQ(block.length, 3u);
    EXPECT_EQ(std::memcmp(block.data.get(), "abc\0", 4), 0);

    char buffer[4];
    EXPECT_EQ(readWholeFileInto(path, buffer, sizeof buffer), 3);
    EXPECT_STREQ(buffer, "abc");

    // A lone surrogate cannot be a file name: the call fails cleanly.
    const std::u16string lone = pathFromUtf8(dir.path()) + u"/bad\xD800name";
    EXPECT_EQ(writeWholeFile(lone, "x", 1), 0);
    EXPECT_FALSE(fileExists(lone));
    EXPECT_FALSE(openFile(lone, "wb"));

    EXPECT_EQ(deleteFile(path), 1);
    EXPECT_FALSE(fileExists(path));
    EXPECT_EQ(deleteFile(path), 0);
}

TEST(WholeFiles, ReadIntoCallerBuffer) {
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const std::u16string path = wide(dir.put("five", "12345"));
    char buffer[6];
    std::memset(buffer, '#', sizeof buffer);
    // The terminating zero needs a sixth byte; the buffer stays untouched without it.
    EXPECT_EQ(readWholeFileInto(path, buffer, 5), -2);
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(readWholeFileInto(path, buffer, 6), 5);
    EXPECT_STREQ(buffer, "12345");
    EXPECT_EQ(readWholeFileInto(wide(dir / "missing"), buffer, 6), -1);
}

TEST(WholeFiles, FailuresSayWhyAndLeaveNothing) {
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string ten = dir.put("ten", "0123456789");
    SizedBlock block;
    FileReadFailure why = FileReadFailure::none;

    // The limit is inclusive, and the text is followed by a zero byte.
    ASSERT_EQ(readWholeFile(ten, block, 10, &why), 1);
    EXPECT_EQ(why, FileReadFailure::none);
    EXPECT_EQ(block.length, 10u);
    EXPECT_STREQ(reinterpret_cast<const char*>(block.data.get()), "0123456789");

    // A failure empties a block that held an earlier file.
    EXPECT_EQ(readWholeFile(ten, block, 9, &why), 0);
    EXPECT_EQ(why, FileReadFailure::tooLarge);
    EXPECT_FALSE(block);
    EXPECT_EQ(block.length, 0u);
    EXPECT_STREQ(fileReadFailureText(why), "too large");

    EXPECT_EQ(readWholeFile(dir / "missing", block, kAnyFileLength, &why), 0);
    EXPECT_EQ(why, FileReadFailure::cannotOpen);
    EXPECT_EQ(readWholeFile(dir.path(), block, kAnyFileLength, &why), 0);
    EXPECT_EQ(why, FileReadFailure::cannotOpen) << "a directory is not a file";
    EXPECT_EQ(readWholeFile(wide(dir / "missing"), block, kAnyFileLength, &why), 0);
    EXPECT_EQ(why, FileReadFailure::cannotOpen);
    // A device opens but has no length to read.
    if (fileExists("/dev/null")) {
        EXPECT_EQ(readWholeFile("/dev/null", block, kAnyFileLength, &why), 0);
        EXPECT_EQ(why, FileReadFailure::notAFile);
    }
    EXPECT_FALSE(block);
}

TEST(FileSystem, CopyFileOverwritesAndRefusesItself) {
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string data = pattern(9000);
    const std::u16string source = wide(dir.put("source", data));
    const std::u16string target = wide(dir.put("target", "old and longer than nothing"));
    EXPECT_EQ(copyFile(source, target), 1);
    EXPECT_EQ(slurp(dir / "target"), data);

    EXPECT_EQ(copyFile(source, source), 0);
    EXPECT_EQ(slurp(dir / "source"), data) << "copying onto itself must not truncate";
    EXPECT_EQ(copyFile(wide(dir / "missing"), target), 0);
    EXPECT_EQ(copyFile(source, wide(dir / "no/such/dir")), 0);

    // Another name of the same file is the same file.
    std::error_code ec;
    std::filesystem::create_hard_link(testing_support::fsPath(dir / "source"),
                                      testing_support::fsPath(dir / "alias"), ec);
    ASSERT_FALSE(ec) << ec.message();
    EXPECT_EQ(copyFile(source, wide(dir / "alias")), 0);
    EXPECT_EQ(slurp(dir / "source"), data) << "copying onto a link to itself must not truncate";
}

TEST(FileSystem, DirectoriesAndDiskSpace) {
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const std::u16string root = wide(dir.path());
    EXPECT_TRUE(directoryExists(root));
    EXPECT_FALSE(directoryExists(root + u"/missing"));
    EXPECT_FALSE(directoryExists(wide(dir.put("file", "x"))));
    EXPECT_FALSE(directoryExists(u""));

    ASSERT_EQ(testing_support::makeDir(dir / "sub"), 0);
    EXPECT_EQ(removeDirectory(root + u"/file"), 0);
    EXPECT_EQ(removeDirectory(root + u"/sub"), 1);
    EXPECT_FALSE(directoryExists(root + u"/sub"));
    EXPECT_EQ(removeDirectory(root + u"/sub"), 0);

    EXPECT_GE(freeDiskSpaceMB(root), 0);
    EXPECT_EQ(freeDiskSpaceMB(root + u"/missing"), -1);
}

TEST(Memory, CopyHandlesOverlapAndFill) {
    HeapBlock block(static_cast<uint8_t*>(allocateZeroed(16)));
    ASSERT_TRUE(block);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(block[i], 0);
    for (int i = 0; i < 8; ++i) block[i] = uint8_t(i + 1);
    copyMemory(block.get() + 2, block.get(), 8);
    const uint8_t expected[] = {1, 2, 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(std::memcmp(block.get(), expected, sizeof expected), 0);
    fillMemory(block.get(), 0xAB, 16);
    EXPECT_EQ(block[15], 0xAB);

    void* grown = reallocateMemory(block.get(), 1 << 20);
    ASSERT_NE(grown, nullptr);
    block.release();
    block.reset(static_cast<uint8_t*>(grown));
    EXPECT_EQ(block[0], 0xAB) << "contents survive the move";
    HeapBlock zero(static_cast<uint8_t*>(allocateMemory(0)));
    EXPECT_TRUE(zero) << "a zero-byte request is not a failure";
}

}  // namespace
}  // namespace tessaly
