#include "platform/registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "../support/scratch_dir.h"
#include "windows_support.h"

namespace tessaly {
namespace {

using testing_support::ScratchDir;
namespace fs = std::filesystem;

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef _WIN32
        root_ = key_.path();
#else
        ASSERT_TRUE(dir_.ok());
        root_ = dir_ / "registry";
#endif
        ::setenv("TESSALY_REGISTRY_ROOT", root_.c_str(), 1);
    }
    void TearDown() override { ::unsetenv("TESSALY_REGISTRY_ROOT"); }

    // The values the store holds: files in the root, or values of the key.
    size_t fileCount() const {
#ifdef _WIN32
        return testing_support::valuesIn(root_).size();
#endif
        size_t n = 0;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(root_, ec)) {
            (void)entry;
            ++n;
        }
        return n;
    }

    ScratchDir dir_;
#ifdef _WIN32
    testing_support::ScratchKey key_;
#endif
    std::string root_;
};

TEST_F(RegistryTest, DwordsAndStringsRoundTripWithCaseInsensitiveNames) {
    EXPECT_EQ(registryWriteDword("MSImageSize", uint32_t(-50)), kRegistryOk);
    uint32_t value = 0;
    EXPECT_EQ(registryReadDword("msimagesize", &value), kRegistryOk);
    EXPECT_EQ(int32_t(value), -50);

    const std::u16string text = u"D:\\Program Files\\Tessaly \u00e9\u263a";
    EXPECT_EQ(registryWriteWideString("BasePath", text.c_str()), kRegistryOk);
    char16_t wide[64];
    EXPECT_EQ(registryReadWideString("BASEPATH", wide, sizeof wide), kRegistryOk);
    EXPECT_EQ(std::u16string(wide), text);
    // The narrow form has no character for U+263A.
    char narrow[64];
    EXPECT_EQ(registryReadString("basepath", narrow, sizeof narrow), kRegistryOk);
    EXPECT_STREQ(narrow, "D:\\Program Files\\Tessaly \xe9?");

    // Writing again replaces the value and its type; no temporary files remain.
    EXPECT_EQ(registryWriteDword("BasePath", 7), kRegistryOk);
    EXPECT_EQ(registryReadDword("BasePath", &value), kRegistryOk);
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(fileCount(), 2u);
}

TEST_F(RegistryTest, MissingWrongTypeTooSmallAndDeleted) {
    uint32_t value = 123;
    char16_t wide[8];
    EXPECT_EQ(registryReadDword("Nothing", &value), kRegistryNotFound);
    EXPECT_EQ(value, 123u);

    ASSERT_EQ(registryWriteWideString("MSName", u"a long name"), kRegistryOk);
    EXPECT_EQ(registryReadDword("MSName", &value), kRegistryUnsupportedType);
    EXPECT_EQ(registryReadWideString("MSName", wide, sizeof wide), kRegistryMoreData);
    EXPECT_EQ(wide[0], u'\0');
    char narrow[11];  // one byte short of the terminator
    EXPECT_EQ(registryReadString("MSName", narrow, sizeof narrow), kRegistryMoreData);

    ASSERT_EQ(registryWriteDword("Flags", 1), kRegistryOk);
    EXPECT_EQ(registryReadWideString("Flags", wide, sizeof wide), kRegistryUnsupportedType);

    EXPECT_EQ(registryDeleteValue("msname"), kRegistryOk);
    EXPECT_EQ(registryReadWideString("MSName", wide, sizeof wide), kRegistryNotFound);
    EXPECT_EQ(registryDeleteValue("MSName"), kRegistryNotFound);
}

TEST_F(RegistryTest, NamesNeverLeaveTheRoot) {
    for (const char* name : {"../escape", "a/b", "..", ".", "/etc/passwd", "x\\y", "dot.name"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(registryWriteDword(name, 5), kRegistryOk);
        uint32_t value = 0;
        EXPECT_EQ(registryReadDword(name, &value), kRegistryOk);
        EXPECT_EQ(value, 5u);
    }
    EXPECT_EQ(fileCount(), 7u);
#ifdef _WIN32
    // Names are values of the key, never keys of their own.
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, root_.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD subkeys = 99;
    EXPECT_EQ(::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 0u);
    ::RegCloseKey(key);
#else
    for (const auto& entry : fs::directory_iterator(dir_.path())) {
        EXPECT_EQ(entry.path().filename(), "registry");
    }
#endif
    EXPECT_EQ(registryWriteDword("", 1), kRegistryInvalidParameter);
    EXPECT_EQ(registryWriteDword(std::string(300, 'a').c_str(), 1), kRegistryInvalidParameter);
}

#ifndef _WIN32
TEST_F(RegistryTest, DamagedValueFilesAreRefused) {
    ValueStore store;
    ASSERT_EQ(store.root(), root_);
    ASSERT_EQ(store.writeDword("Good", 1), kRegistryOk);
    std::ofstream(store.valuePath("Garbage")) << "dword\n12x\n";
    std::ofstream(store.valuePath("Untyped")) << "hello";
    uint32_t value = 0;
    std::u16string text;
    EXPECT_EQ(store.readDword("Garbage", &value), kRegistryInvalidData);
    EXPECT_EQ(store.readString("Untyped", &text), kRegistryInvalidData);
    RegistryType type{};
    EXPECT_EQ(store.type("Good", &type), kRegistryOk);
    EXPECT_EQ(type, RegistryType::Dword);
    // A directory where a value should be is no value.
    fs::create_directory(store.valuePath("Folder"));
    EXPECT_NE(store.readDword("Folder", &value), kRegistryOk);
    // Strings that are not UTF-16 cannot be stored.
    const char16_t lone[] = {u'a', char16_t(0xD800), 0};
    EXPECT_EQ(store.writeString("Lone", lone), kRegistryInvalidParameter);
}
#endif

TEST_F(RegistryTest, RootFromTheEnvironmentOrTheInstallation) {
    EXPECT_EQ(ValueStore::configuredRoot(), root_);
    ::unsetenv("TESSALY_REGISTRY_ROOT");
    EXPECT_FALSE(ValueStore::configuredRoot().empty());
    EXPECT_NE(ValueStore::configuredRoot(), root_);
}

}  // namespace
}  // namespace tessaly
