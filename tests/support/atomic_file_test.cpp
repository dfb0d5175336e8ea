#include "support/atomic_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "scratch_dir.h"
#include "support/files.h"
#include "support/paths.h"

namespace tessaly {
namespace {

using testing_support::ScratchDir;
using testing_support::slurp;

std::span<const uint8_t> bytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// The names in a directory other than "." and "..".
size_t entriesIn(const std::string& directory) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator(testing_support::fsPath(directory))) {
        ++n;
    }
    return n;
}

TEST(AtomicFile, WritesNewAndReplacesExistingFiles) {
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string head = "head,";
    const std::string tail = std::string(5000, 't');
    EXPECT_EQ(writeFileAtomically(dir / "value", {bytes(head), bytes(tail)}), 1);
    EXPECT_EQ(slurp(dir / "value"), head + tail);

    // Renaming over a target that exists must replace it, on every system.
    EXPECT_EQ(writeFileAtomically(dir / "value", {bytes("short")}), 1);
    EXPECT_EQ(slurp(dir / "value"), "short");
    EXPECT_EQ(writeFileAtomically(dir / "value", {}), 1);
    EXPECT_EQ(fileSize(dir / "value"), 0);
    EXPECT_EQ(entriesIn(dir.path()), 1u) << "no temporary file stays behind";

    // UTF-8 names reach the file system as the characters they spell.
    const std::string name = "Gr\xC3\xBC\xC3\x9F" "e-\xE2\x82\xAC.settings";
    EXPECT_EQ(writeFileAtomically(dir / name, {bytes("x")}), 1);
    EXPECT_EQ(fileSize(dir / name), 1);
    EXPECT_TRUE(fileExists(pathFromUtf8(dir / name)));
}

TEST(AtomicFile, FailuresLeaveTheTargetAndNoStrayFile) {
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    EXPECT_EQ(writeFileAtomically(dir / "no/such/dir/value", {bytes("x")}), 0);

    // A directory in the way is not replaced.
    ASSERT_EQ(testing_support::makeDir(dir / "taken"), 0);
    dir.put("taken/inside", "kept");
    EXPECT_EQ(writeFileAtomically(dir / "taken", {bytes("x")}), 0);
    EXPECT_EQ(slurp(dir / "taken/inside"), "kept");
    EXPECT_EQ(entriesIn(dir.path()), 1u) << "no temporary file stays behind";
}

}  // namespace
}  // namespace tessaly
