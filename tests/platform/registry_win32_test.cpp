// The value store and the measurement system seen through the real registry.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/measurement.h"
#include "platform/registry.h"
#include "windows_support.h"

namespace tessaly {
namespace {

using testing_support::ScratchKey;
using testing_support::wideKey;

// An open key under HKEY_CURRENT_USER, for looking behind the store's back.
class RawKey {
public:
    explicit RawKey(const std::string& path) {
        ok_ = ::RegCreateKeyExW(HKEY_CURRENT_USER, wideKey(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &key_, nullptr) == ERROR_SUCCESS;
    }
    ~RawKey() {
        if (ok_) ::RegCloseKey(key_);
    }
    RawKey(const RawKey&) = delete;
    RawKey& operator=(const RawKey&) = delete;
    bool ok() const { return ok_; }

    LSTATUS set(const wchar_t* name, DWORD type, const void* data, DWORD size) const {
        return ::RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data), size);
    }
    // The type and bytes of a value; false when absent.
    bool get(const wchar_t* name, DWORD* type, std::string* bytes) const {
        char buffer[512];
        DWORD size = sizeof buffer;
        if (::RegQueryValueExW(key_, name, nullptr, type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS) {
            return false;
        }
        bytes->assign(buffer, size);
        return true;
    }

private:
    HKEY key_ = nullptr;
    bool ok_ = false;
};

TEST(RegistryWin32, ValuesAreTheRegistrysOwn) {
    ScratchKey scratch;
    ValueStore store(scratch.path());
    ASSERT_EQ(store.writeDword("MSImageSize", 0xFFFFFFCEu), kRegistryOk);
    ASSERT_EQ(store.writeString("BasePath", u"C:\\Tessaly\u263a\\"), kRegistryOk);

    // What other programs see: a REG_DWORD and a terminated REG_SZ.
    RawKey key(scratch.path());
    ASSERT_TRUE(key.ok());
    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(key.get(L"msimagesize", &type, &bytes));
    EXPECT_EQ(type, DWORD(REG_DWORD));
    ASSERT_EQ(bytes.size(), 4u);
    uint32_t number = 0;
    std::memcpy(&number, bytes.data(), 4);
    EXPECT_EQ(number, 0xFFFFFFCEu);
    ASSERT_TRUE(key.get(L"BasePath", &type, &bytes));
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(bytes, std::string(reinterpret_cast<const char*>(u"C:\\Tessaly\u263a\\"), 26));

    // What other programs write, the store reads: strings need no terminator
    // and stop at the first zero.
    ASSERT_EQ(key.set(L"Bare", REG_SZ, u"abc", 6), ERROR_SUCCESS);
    ASSERT_EQ(key.set(L"Stopped", REG_SZ, u"ab\0cd", 12), ERROR_SUCCESS);
    ASSERT_EQ(key.set(L"Expandable", REG_EXPAND_SZ, u"%TEMP%", 14), ERROR_SUCCESS);
    std::u16string text;
    EXPECT_EQ(store.readString("bare", &text), kRegistryOk);
    EXPECT_EQ(text, u"abc");
    EXPECT_EQ(store.readString("Stopped", &text), kRegistryOk);
    EXPECT_EQ(text, u"ab");
    EXPECT_EQ(store.readString("Expandable", &text), kRegistryOk);
    EXPECT_EQ(text, u"%TEMP%");

    // Values of other types or a wrong size are refused, not misread.
    const uint32_t four = 4;
    const uint64_t eight = 8;
    ASSERT_EQ(key.set(L"Short", REG_DWORD, &four, 2), ERROR_SUCCESS);
    ASSERT_EQ(key.set(L"Quad", REG_QWORD, &eight, 8), ERROR_SUCCESS);
    ASSERT_EQ(key.set(L"Blob", REG_BINARY, "xyz", 3), ERROR_SUCCESS);
    uint32_t value = 77;
    RegistryType kind{};
    EXPECT_EQ(store.readDword("Short", &value), kRegistryInvalidData);
    EXPECT_EQ(store.readDword("Quad", &value), kRegistryInvalidData);
    EXPECT_EQ(store.readString("Blob", &text), kRegistryInvalidData);
    EXPECT_EQ(store.type("Quad", &kind), kRegistryInvalidData);
    EXPECT_EQ(value, 77u);

    // A name with a zero inside would reach another value.
    ASSERT_EQ(store.writeDword("Bare", 1), kRegistryOk);
    EXPECT_EQ(store.writeDword(std::string_view("Bare\0x", 6), 2), kRegistryInvalidParameter);
    EXPECT_EQ(store.deleteValue(std::string_view("Bare\0x", 6)), kRegistryInvalidParameter);
    EXPECT_EQ(store.readDword("Bare", &value), kRegistryOk);
    EXPECT_EQ(value, 1u);

    // Deleting goes through to the registry.
    ASSERT_EQ(store.deleteValue("BASEPATH"), kRegistryOk);
    EXPECT_FALSE(key.get(L"BasePath", &type, &bytes));
    // Strings that are not UTF-16 are not stored.
    const char16_t lone[] = {u'a', char16_t(0xDC00), 0};
    EXPECT_EQ(store.writeString("Lone", lone), kRegistryInvalidParameter);
}

TEST(RegistryWin32, KeyPathsNameTheirHive) {
    ScratchKey scratch;
    ASSERT_EQ(ValueStore(scratch.path()).writeDword("Flags", 3), kRegistryOk);
    // The same key, however it is spelt.
    std::string slashed = scratch.path();
    for (char& c : slashed) c = c == '\\' ? '/' : c;
    for (const std::string& path : {"HKEY_CURRENT_USER\\" + scratch.path(), "hkcu/" + slashed,
                                    "\\" + scratch.path() + "\\\\", slashed}) {
        SCOPED_TRACE(path);
        uint32_t value = 0;
        EXPECT_EQ(ValueStore(path).readDword("Flags", &value), kRegistryOk);
        EXPECT_EQ(value, 3u);
    }
    // A hive alone or nothing at all holds no values of ours.
    uint32_t value = 0;
    for (const char* path : {"", "HKCU", "HKEY_LOCAL_MACHINE\\", "/"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(ValueStore(path).readDword("Flags", &value), kRegistryInvalidParameter);
        EXPECT_EQ(ValueStore(path).writeDword("Flags", 1), kRegistryInvalidParameter);
    }
    // A missing key is a missing value.
    EXPECT_EQ(ValueStore(scratch / "absent").readDword("Flags", &value), kRegistryNotFound);
    EXPECT_EQ(ValueStore(scratch / "absent").deleteValue("Flags"), kRegistryNotFound);
    EXPECT_FALSE(testing_support::keyExists(scratch / "absent"));
}

// A key the user may read but not write stands for the installation's key
// seen by an ordinary user.
TEST(RegistryWin32, TheConfiguredStoreIsLayeredOverAKeyTheUserCannotWrite) {
    ScratchKey scratch;
    const std::string machine = scratch / "machine";
    ASSERT_EQ(ValueStore(machine).writeDword("Flags", 1), kRegistryOk);
    {
        HKEY key = nullptr;
        ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, wideKey(machine).c_str(), 0, WRITE_DAC, &key), ERROR_SUCCESS);
        SECURITY_DESCRIPTOR descriptor;
        ASSERT_TRUE(::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
        // Everyone may read; nobody may write.
        alignas(ACL) BYTE aclBuffer[256];
        auto* acl = reinterpret_cast<ACL*>(aclBuffer);
        ASSERT_TRUE(::InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION));
        SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
        PSID everyone = nullptr;
        ASSERT_TRUE(::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
        ASSERT_TRUE(::AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ | WRITE_DAC, everyone));
        ::FreeSid(everyone);
        ASSERT_TRUE(::SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE));
        ASSERT_EQ(::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor), ERROR_SUCCESS);
        ::RegCloseKey(key);
    }
    HKEY probe = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, wideKey(machine).c_str(), 0, KEY_SET_VALUE, &probe) == ERROR_SUCCESS) {
        ::RegCloseKey(probe);
        GTEST_SKIP() << "this system does not enforce the key's access list";
    }

    ::setenv("TESSALY_REGISTRY_ROOT", machine.c_str(), 1);
    ::setenv("TESSALY_REGISTRY_USER_ROOT", (scratch / "user").c_str(), 1);
    ValueStore store;
    EXPECT_TRUE(store.layered());
    EXPECT_EQ(store.userRoot(), scratch / "user");
    EXPECT_EQ(registryWriteDword("Flags", 2), kRegistryOk);
    uint32_t value = 0;
    EXPECT_EQ(registryReadDword("Flags", &value), kRegistryOk);
    EXPECT_EQ(value, 2u);
    EXPECT_EQ(ValueStore(machine).readDword("Flags", &value), kRegistryOk);
    EXPECT_EQ(value, 1u);
    ::unsetenv("TESSALY_REGISTRY_ROOT");
    ::unsetenv("TESSALY_REGISTRY_USER_ROOT");
}

// Sets the user's country for one scope and puts the old one back.
class ScopedCountry {
public:
    explicit ScopedCountry(const wchar_t* country) {
        ok_ = ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\International", 0, nullptr, 0,
                                KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_, nullptr) == ERROR_SUCCESS;
        if (!ok_) return;
        DWORD size = sizeof old_;
        DWORD type = 0;
        hadOld_ = ::RegQueryValueExW(key_, L"iCountry", nullptr, &type, reinterpret_cast<BYTE*>(old_), &size) ==
                      ERROR_SUCCESS &&
                  type == REG_SZ;
        oldSize_ = size;
        set(country);
    }
    ~ScopedCountry() {
        if (!ok_) return;
        if (hadOld_) {
            ::RegSetValueExW(key_, L"iCountry", 0, REG_SZ, reinterpret_cast<const BYTE*>(old_), oldSize_);
        } else {
            ::RegDeleteValueW(key_, L"iCountry");
        }
        ::RegCloseKey(key_);
    }
    ScopedCountry(const ScopedCountry&) = delete;
    ScopedCountry& operator=(const ScopedCountry&) = delete;
    bool ok() const { return ok_; }
    void set(const wchar_t* country) const {
        if (!country) {
            ::RegDeleteValueW(key_, L"iCountry");
            return;
        }
        ::RegSetValueExW(key_, L"iCountry", 0, REG_SZ, reinterpret_cast<const BYTE*>(country),
                         DWORD((std::wcslen(country) + 1) * sizeof(wchar_t)));
    }
    void setNumber(DWORD number) const {
        ::RegSetValueExW(key_, L"iCountry", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    }

private:
    HKEY key_ = nullptr;
    bool ok_ = false;
    bool hadOld_ = false;
    wchar_t old_[64] = {};
    DWORD oldSize_ = 0;
};

TEST(MeasurementWin32, TheCountryOfTheRegionalSettingsDecides) {
    for (const char* country : {"1", "2", "50", "59", "500", "599"}) {
        EXPECT_FALSE(countryMeasuresInMetric(country)) << country;
    }
    for (const char* country : {"49", "44", "3", "60", "499", "600"}) {
        EXPECT_TRUE(countryMeasuresInMetric(country)) << country;
    }
    for (const char* country : {"", "-1", "49 ", "1x", "0000000000000049", "x"}) {
        EXPECT_FALSE(countryMeasuresInMetric(country)) << country;
    }
    EXPECT_TRUE(countryMeasuresInMetric("000000000000049"));
    EXPECT_FALSE(countryMeasuresInMetric(nullptr));

    ScopedCountry country(L"49");
    ASSERT_TRUE(country.ok());
    setMetricOverride(std::nullopt);
    EXPECT_TRUE(userMeasuresInMetric());
    country.set(L"1");
    EXPECT_FALSE(userMeasuresInMetric());
    country.set(L"52");
    EXPECT_FALSE(userMeasuresInMetric());
    // A country that cannot be read counts as not metric.
    country.set(nullptr);
    EXPECT_FALSE(userMeasuresInMetric());
    country.setNumber(49);
    EXPECT_FALSE(userMeasuresInMetric());
    country.set(L"4900000000000000000000049");
    EXPECT_FALSE(userMeasuresInMetric());
    country.set(L"44");
    setMetricOverride(false);
    EXPECT_FALSE(userMeasuresInMetric());
    setMetricOverride(std::nullopt);
    EXPECT_TRUE(userMeasuresInMetric());
}

TEST(MeasurementWin32, LocaleNamesOfEitherForm) {
    EXPECT_TRUE(localeMeasuresInMetric("de-DE"));
    EXPECT_TRUE(localeMeasuresInMetric("de_DE.UTF-8"));
    EXPECT_FALSE(localeMeasuresInMetric("en-US"));
    EXPECT_FALSE(localeMeasuresInMetric("en_US.UTF-8"));
}

}  // namespace
}  // namespace tessaly

#endif  // _WIN32
