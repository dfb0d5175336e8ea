#pragma once
// What the driver's tests share: a scratch installation (value store, base
// and spool directories), device modes as a spooler builds them, and readers
// of the job files.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "../../support/scratch_dir.h"
#include "composer/settings.h"
#include "devmode.h"
#include "platform/measurement.h"
#include "platform/registry.h"
#include "platform/winddi.h"
#include "support/compression.h"
#include "support/scrambler.h"

namespace tessaly::pagesmith::testing {

using tessaly::testing_support::ScratchDir;
using tessaly::testing_support::slurp;

// A device mode of the public part and the driver's private part.
struct DevmodeBytes {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(kPublicDevmodeSize + kPrivateDevmodeSize);

    DevmodeBytes() {
        DEVMODEW& dm = devmode();
        dm.dmSpecVersion = DM_SPECVERSION;
        dm.dmSize = kPublicDevmodeSize;
        dm.dmDriverExtra = kPrivateDevmodeSize;
        PrivateDevmode part{};
        part.signature = kPrivateSignature;
        part.width = 215900;
        part.height = 279400;
        part.sizeIndex = kPaperLetter;
        part.customWidth = 101600;
        part.customHeight = 152399;
        part.resolution = 300;
        part.settings.mechanics = kMechVector | kMechFrame;
        part.settings.sourceId = -1;
        setPrivate(part);
    }
    DEVMODEW& devmode() { return *reinterpret_cast<DEVMODEW*>(bytes.data()); }
    PrivateDevmode privatePart() const {
        PrivateDevmode part;
        std::memcpy(&part, bytes.data() + kPublicDevmodeSize, sizeof part);
        return part;
    }
    void setPrivate(const PrivateDevmode& part) {
        std::memcpy(bytes.data() + kPublicDevmodeSize, &part, sizeof part);
    }
    void setMechanics(uint32_t mechanics) {
        PrivateDevmode part = privatePart();
        part.settings.mechanics = mechanics;
        setPrivate(part);
    }
};

// The records of a bag file, each with its rows inflated.
struct BagRecord {
    uint32_t width = 0, rows = 0;
    std::vector<uint8_t> pixels;
};

inline uint32_t bigEndian(const std::string& bytes, size_t at) {
    return uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
           uint32_t(uint8_t(bytes[at + 2])) << 8 | uint32_t(uint8_t(bytes[at + 3]));
}

inline std::vector<BagRecord> readBag(const std::string& path) {
    const std::string bytes = slurp(path);
    std::vector<BagRecord> records;
    if (bytes.size() < 8 || bytes.compare(0, 8, std::string("\0BAG\0\0\0\1", 8)) != 0) return records;
    size_t at = 8;
    while (at + 16 <= bytes.size()) {
        EXPECT_EQ(bigEndian(bytes, at), 1u);
        const uint32_t length = bigEndian(bytes, at + 4);
        BagRecord record;
        record.width = bigEndian(bytes, at + 8);
        record.rows = bigEndian(bytes, at + 12);
        record.pixels.resize(size_t((record.width * 3 + 3) & ~3u) * record.rows);
        size_t produced = record.pixels.size();
        EXPECT_TRUE(inflateData(reinterpret_cast<const uint8_t*>(bytes.data()) + at + 16, length - 8,
                                record.pixels.data(), produced));
        EXPECT_EQ(produced, record.pixels.size());
        records.push_back(std::move(record));
        at += 8 + length;
    }
    EXPECT_EQ(at, bytes.size());
    return records;
}

// The pixels of all records, joined.
inline std::vector<uint8_t> bagPixels(const std::string& path) {
    std::vector<uint8_t> pixels;
    for (const BagRecord& record : readBag(path)) {
        pixels.insert(pixels.end(), record.pixels.begin(), record.pixels.end());
    }
    return pixels;
}

// A scratch installation: the value store, the base directory and the spool
// directory, with the measurement system forced to a known answer.
class DriverFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scratch_.ok());
        ::setenv("TESSALY_REGISTRY_ROOT", (scratch_ / "registry").c_str(), 1);
        ::setenv("TESSALY_RUNTIME_DIR", (scratch_ / "run").c_str(), 1);
        std::filesystem::create_directories(scratch_ / "run");
        std::filesystem::create_directories(scratch_ / "base/interface");
        spool_ = scratch_ / "spool/";
        base_ = scratch_ / "base/";
        ASSERT_EQ(registryWriteWideString("SpoolPath", toU16(spool_).c_str()), kRegistryOk);
        ASSERT_EQ(registryWriteWideString("BasePath", toU16(base_).c_str()), kRegistryOk);
        setMetricOverride(false);
    }
    void TearDown() override {
        setMetricOverride(std::nullopt);
        ::unsetenv("TESSALY_REGISTRY_ROOT");
        ::unsetenv("TESSALY_RUNTIME_DIR");
    }

    static std::u16string toU16(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

    // The job directories under the spool directory.
    std::vector<std::string> jobDirectories() const {
        std::vector<std::string> found;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(spool_, ec)) {
            if (entry.is_directory()) found.push_back(entry.path().string() + "/");
        }
        return found;
    }

    // A job file read back as the application reads it.
    static std::string descrambled(const std::string& path) {
        std::string bytes = slurp(path);
        (void)unscramble(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size(), jobKey());
        return bytes;
    }

    ScratchDir scratch_;
    std::string spool_;
    std::string base_;
};

}  // namespace tessaly::pagesmith::testing
