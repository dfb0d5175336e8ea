#include "support/directories.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "scratch_dir.h"
#include "support/files.h"
#include "support/paths.h"

namespace tessaly {
namespace {

using testing_support::ScratchDir;
using testing_support::wide;

// Programs cannot make symbolic links on Windows without a privilege.
#ifdef _WIN32
constexpr bool kLinksAvailable = false;
#else
constexpr bool kLinksAvailable = true;
#endif

std::map<std::u16string, bool> listAll(const std::u16string& directory) {
    std::map<std::u16string, bool> found;
    FindHandle find;
    if (!find.begin(directory)) return found;
    DirectoryEntry entry;
    while (find.next(entry)) found[entry.name] = entry.isDirectory;
    return found;
}

TEST(DirectoryWalk, YieldsEveryEntryOnce) {
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    dir.put("media.mml", "x");
    dir.put("Gr\xC3\xBC\xC3\x9F" "e.bag", "y");
    ASSERT_EQ(testing_support::makeDir(dir / "fonts"), 0);
    // A link to a directory is listed as a file (where links can be made).
    const bool linked = testing_support::makeSymlink(dir.path(), dir / "loop") == 0;

    const auto found = listAll(wide(dir.path()));
    std::map<std::u16string, bool> expected = {
        {u".", true},  {u"..", true},     {u"media.mml", false}, {u"Gr\u00FC\u00DFe.bag", false},
        {u"fonts", true}};
    ASSERT_EQ(linked, kLinksAvailable);
    if (linked) expected[u"loop"] = false;
    EXPECT_EQ(found, expected);
}

TEST(DirectoryWalk, BeginNextEnd) {
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    FindHandle find;
    DirectoryEntry entry;
    EXPECT_FALSE(find.next(entry)) << "not begun";
    EXPECT_FALSE(find.begin(wide(dir / "missing")));
    EXPECT_FALSE(find.begin(wide(dir.put("file", "x"))));
    EXPECT_FALSE(find.begin(u"bad\xDC00"));
    ASSERT_TRUE(find.begin(wide(dir.path())));
    EXPECT_TRUE(find.isOpen());
    int count = 0;
    while (find.next(entry)) ++count;
    EXPECT_EQ(count, 3);  // ".", ".." and "file"
    EXPECT_FALSE(find.next(entry));
    find.end();
    EXPECT_FALSE(find.isOpen());
    EXPECT_FALSE(find.next(entry));

    // A moved handle carries its pending first entry along.
    ASSERT_TRUE(find.begin(wide(dir.path())));
    FindHandle moved(std::move(find));
    EXPECT_FALSE(find.isOpen());
    count = 0;
    while (moved.next(entry)) ++count;
    EXPECT_EQ(count, 3);
}

TEST(RemoveTree, DeletesNestedContent) {
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string job = dir / "12345678";
    ASSERT_EQ(testing_support::makeDir(job), 0);
    ASSERT_EQ(testing_support::makeDir(job + "/a"), 0);
    ASSERT_EQ(testing_support::makeDir(job + "/a/b"), 0);
    dir.put("12345678/media.mml", "m");
    dir.put("12345678/a/b/deep", "d");
#ifndef _WIN32
    dir.put("12345678/a/\xFF-not-utf8", "n");  // names are UTF-16 on Windows
#endif
    // A link into the outside world is removed, never followed.
    const std::string outside = dir.put("keep", "k");
    const bool linked = testing_support::makeSymlink(dir.path(), job + "/a/link") == 0;
    ASSERT_EQ(linked, kLinksAvailable);
    if (linked) {
        ASSERT_EQ(testing_support::makeSymlink(job, dir / "job-link"), 0);
        EXPECT_EQ(removeTree(wide(dir / "job-link"), true), 0);
        EXPECT_TRUE(fileExists(job + "/media.mml")) << "a link is not a tree";
    }

    EXPECT_EQ(removeTree(wide(job), false), 1);
    EXPECT_FALSE(directoryExists(wide(job)));
    EXPECT_TRUE(fileExists(outside));
    EXPECT_EQ(removeTree(wide(job), false), 0) << "already gone";
}

TEST(RemoveTree, RemovesFilesMarkedReadOnly) {
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string tree = dir / "t";
    ASSERT_EQ(testing_support::makeDir(tree), 0);
    ASSERT_EQ(testing_support::makeDir(tree + "/sub"), 0);
    for (const char* name : {"t/locked", "t/sub/locked"}) {
        dir.put(name, "x");
        std::filesystem::permissions(testing_support::fsPath(dir / name),
                                     std::filesystem::perms::owner_read);
    }
    EXPECT_EQ(removeTree(wide(tree), false), 1);
    EXPECT_FALSE(directoryExists(wide(tree)));
}

TEST(RemoveTree, RefusesLongPathsAndFileArguments) {
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    std::u16string longPath = wide(dir.path()) + u"/";
    longPath.append(kMaxTreePath + 1 - longPath.size(), u'x');
    EXPECT_EQ(removeTree(longPath, true), 0);
    EXPECT_EQ(removeTree(wide(dir.put("file", "x")), true), 0);
    EXPECT_TRUE(fileExists(dir / "file"));
}

TEST(RemoveTree, KeepGoingRemovesWhatItCan) {
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string tree = dir / "t";
    ASSERT_EQ(testing_support::makeDir(tree), 0);
    // A subdirectory whose contents lie beyond the path limit cannot be removed.
    std::string deep = tree + "/" + std::string(200, 'd');
    ASSERT_EQ(testing_support::makeDir(deep), 0);
    deep += "/" + std::string(100, 'e');
    ASSERT_EQ(testing_support::makeDir(deep), 0);
    const auto refill = [&] {
        for (int i = 0; i < 5; ++i) dir.put("t/f" + std::to_string(i), "f");
    };

    refill();
    EXPECT_EQ(removeTree(wide(tree), true), 0);
    // Everything but the blocked directory is gone.
    const auto left = listAll(wide(tree));
    EXPECT_EQ(left.size(), 3u);
    EXPECT_TRUE(left.count(pathFromUtf8(std::string(200, 'd'))));

    refill();
    EXPECT_EQ(removeTree(wide(tree), false), 0);
    EXPECT_GE(listAll(wide(tree)).size(), 3u);
    EXPECT_TRUE(directoryExists(wide(tree)));

    ASSERT_EQ(testing_support::removeDir(deep), 0);
    EXPECT_EQ(removeTree(wide(tree), false), 1);
    EXPECT_FALSE(directoryExists(wide(tree)));
}

}  // namespace
}  // namespace tessaly
