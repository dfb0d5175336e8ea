#include "support/paths.h"

#include <gtest/gtest.h>

#include <string>

namespace tessaly {
namespace {

TEST(Paths, SeparatorsBecomeSingleSlashes) {
    std::string drive = "C:\\Program Files\\\\Tessaly/";
    normaliseSeparators(drive);
    EXPECT_EQ(drive, "C:/Program Files/Tessaly/");

    std::string mixed = "a/\\/b\\\\\\c//";
    normaliseSeparators(mixed);
    EXPECT_EQ(mixed, "a/b/c/");

    std::string plain = "name";
    normaliseSeparators(plain);
    EXPECT_EQ(plain, "name");

    std::string narrow = "a\\\\b\\c";
    backslashesToSlashes(narrow);
    EXPECT_EQ(narrow, "a//b/c") << "only the normaliser merges separators";
    std::u16string wideText = u"x\\\u00E9\\y";
    backslashesToSlashes(wideText);
    EXPECT_EQ(wideText, u"x/\u00E9/y");
}

TEST(Paths, AbsolutePaths) {
    EXPECT_TRUE(isAbsolutePath("/tmp"));
    EXPECT_TRUE(isAbsolutePath("\\spool"));
    EXPECT_TRUE(isAbsolutePath("/"));
    EXPECT_TRUE(isAbsolutePath("C:\\jobs"));
    EXPECT_TRUE(isAbsolutePath("d:/jobs"));
    EXPECT_FALSE(isAbsolutePath("C:jobs"));
    EXPECT_FALSE(isAbsolutePath("1:/jobs"));
    EXPECT_FALSE(isAbsolutePath("jobs/a"));
    EXPECT_FALSE(isAbsolutePath(""));
    // Below four characters only a leading separator counts.
    EXPECT_FALSE(isAbsolutePath("C:/"));
    EXPECT_TRUE(isAbsolutePath(u"C:/x"));
    EXPECT_TRUE(isAbsolutePath(u"/x"));
    EXPECT_FALSE(isAbsolutePath(u"x:\u00E9/"));
}

TEST(Paths, DirectoryAndFileNameParts) {
    EXPECT_EQ(directoryPart("/spool/12345678/media.mml"), "/spool/12345678/");
    EXPECT_EQ(directoryPart("C:\\spool\\job"), "C:\\spool\\");
    EXPECT_EQ(directoryPart("/"), "/");
    EXPECT_EQ(directoryPart("media.mml"), std::nullopt);
    EXPECT_EQ(directoryPart(u"a/b\\\u00E9.txt"), u"a/b\\");
    EXPECT_EQ(directoryPart(u"\u00E9"), std::nullopt);

    EXPECT_EQ(fileNamePart("/spool/job/media.mml"), "media.mml");
    EXPECT_EQ(fileNamePart("C:\\x\\y.swf"), "y.swf");
    EXPECT_EQ(fileNamePart("dir/"), "");
    EXPECT_EQ(fileNamePart("alone"), "alone");
    EXPECT_EQ(fileNamePart(u"d/\u00E9.swf"), u"\u00E9.swf");
}

TEST(Paths, AppendSeparator) {
    std::string empty;
    appendSeparator(empty);
    EXPECT_EQ(empty, "/");
    std::string dir = "/spool";
    appendSeparator(dir);
    appendSeparator(dir);
    EXPECT_EQ(dir, "/spool/");
    std::string windows = "C:\\x";
    appendSeparator(windows, '\\');
    EXPECT_EQ(windows, "C:\\x\\");
    std::u16string w = u"\u00E9";
    appendSeparator(w);
    appendSeparator(w);
    EXPECT_EQ(w, u"\u00E9/");
}

TEST(Paths, Utf8Conversion) {
    const std::u16string text = u"a\u00E9\u20AC\U0001F600";
    const auto utf8 = pathToUtf8(text);
    ASSERT_TRUE(utf8);
    EXPECT_EQ(*utf8, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(pathFromUtf8(*utf8), text);

    EXPECT_FALSE(pathToUtf8(u"x\xD800"));          // high surrogate at the end
    EXPECT_FALSE(pathToUtf8(u"x\xD800y"));         // high surrogate without a low one
    EXPECT_FALSE(pathToUtf8(u"x\xDC00"));          // low surrogate alone
    EXPECT_FALSE(pathToUtf8(u"\xD800\xD800\xDC00"));

    // Bytes that are not UTF-8 stand in as U+FFFD, one per bad byte.
    EXPECT_EQ(pathFromUtf8("a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(pathFromUtf8("\xC0\x80"), u"\uFFFD\uFFFD");         // overlong
    EXPECT_EQ(pathFromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD"); // encoded surrogate
    EXPECT_EQ(pathFromUtf8("\xE2\x82"), u"\uFFFD\uFFFD");         // cut short
    EXPECT_EQ(pathFromUtf8("\xF4\x90\x80\x80").size(), 4u);       // above U+10FFFF
}

}  // namespace
}  // namespace tessaly
