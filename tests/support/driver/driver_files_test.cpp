// The driver's build of the support library: the file operations only the
// driver has.

#include <gtest/gtest.h>

#include <string>

#include "../scratch_dir.h"
#include "support/compression.h"
#include "support/files.h"

namespace tessaly {
namespace {

using testing_support::ScratchDir;

TEST(DriverFiles, MakeDirectoryAndDeleteFile) {
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string job = dir / "12345678";
    EXPECT_EQ(makeDirectory(job), 1);
    EXPECT_TRUE(directoryExists(testing_support::wide(job)));
    EXPECT_EQ(makeDirectory(job), 0) << "already there";
    EXPECT_EQ(makeDirectory(dir / "missing/job"), 0);

    ASSERT_EQ(printToNewFile(job + "/_status", "%s", "begin"), 1);
    EXPECT_EQ(fileSize(job + "/_status"), 5);
    EXPECT_EQ(deleteFile(job + "/_status"), 1);
    EXPECT_FALSE(fileExists(job + "/_status"));
    EXPECT_EQ(deleteFile(job + "/_status"), 0);
    EXPECT_EQ(deleteFile(job), 0) << "a directory is not deleted as a file";
    EXPECT_EQ(removeDirectory(testing_support::wide(job)), 1);
}

TEST(DriverFiles, CompressesBagRecords) {
    const std::string record(5000, 'r');
    SizedBlock packed =
        compressData(reinterpret_cast<const uint8_t*>(record.data()), record.size(), 6);
    ASSERT_TRUE(packed);
    EXPECT_LT(packed.length, record.size());
}

}  // namespace
}  // namespace tessaly
