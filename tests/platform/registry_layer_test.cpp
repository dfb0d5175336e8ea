// The user's layer over a root the user cannot write.
#ifndef _WIN32
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <set>

#include "../support/scratch_dir.h"
#include "platform/registry.h"
#include "windows_support.h"

namespace tessaly {
namespace {

using testing_support::ScratchDir;
namespace fs = std::filesystem;

// What a root holds: its value files, or on Windows its values' names.
std::set<std::string> filesIn(const std::string& dir) {
#ifdef _WIN32
    return testing_support::valuesIn(dir);
#endif
    std::set<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        names.insert(it->path().filename().string());
    }
    return names;
}

// Sets an environment variable for the life of the object, then puts the
// old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = ::getenv(name)) old_ = old;
        if (value) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

class RegistryLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef _WIN32
        machine_ = key_ / "machine";
        user_ = key_ / "user";
#else
        ASSERT_TRUE(dir_.ok());
        machine_ = dir_ / "machine";
        user_ = dir_ / "user";
#endif
        ValueStore installed(machine_);
        ASSERT_EQ(installed.writeDword("Flags", 1), kRegistryOk);
        ASSERT_EQ(installed.writeString("Greeting", u"hello"), kRegistryOk);
        ASSERT_EQ(installed.writeString("MSNextOutputLocation", u"/srv/out/"), kRegistryOk);
    }

    uint32_t machineDword(const char* name) const {
        uint32_t value = 0;
        EXPECT_EQ(ValueStore(machine_).readDword(name, &value), kRegistryOk) << name;
        return value;
    }

    // A root or layer that is not there (yet).
    std::string absent(const std::string& name) const {
#ifdef _WIN32
        return key_ / name;
#else
        return dir_ / name;
#endif
    }
    static bool exists(const std::string& root) {
#ifdef _WIN32
        return testing_support::keyExists(root);
#else
        return fs::exists(root);
#endif
    }

    ScratchDir dir_;
#ifdef _WIN32
    testing_support::ScratchKey key_;
#endif
    std::string machine_;
    std::string user_;
};

TEST_F(RegistryLayerTest, ReadsThroughOverridesAndLeavesTheRootAlone) {
    ValueStore store(machine_, user_);
    uint32_t value = 0;
    std::u16string text;
    EXPECT_EQ(store.readDword("FLAGS", &value), kRegistryOk);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(store.readString("greeting", &text), kRegistryOk);
    EXPECT_EQ(text, u"hello");
    // Reading makes no layer.
    EXPECT_FALSE(exists(user_));

    ASSERT_EQ(store.writeDword("Flags", 2), kRegistryOk);
    ASSERT_EQ(store.writeString("PrinterHTMLTemplate", u"plain"), kRegistryOk);
    EXPECT_EQ(store.readDword("flags", &value), kRegistryOk);
    EXPECT_EQ(value, 2u);
    EXPECT_EQ(machineDword("Flags"), 1u);
    RegistryType type{};
    EXPECT_EQ(ValueStore(machine_).type("PrinterHTMLTemplate", &type), kRegistryNotFound);
#ifdef _WIN32
    EXPECT_EQ(store.valuePath("Flags"), user_ + "\\Flags");
#else
    EXPECT_EQ(store.valuePath("Flags"), user_ + "/flags");
    EXPECT_EQ(fs::status(user_).permissions() & fs::perms::all, fs::perms::owner_all);
#endif

    // A value the root gets later shows through where the user has none.
    ASSERT_EQ(ValueStore(machine_).writeDword("MSImageSize", 90), kRegistryOk);
    EXPECT_EQ(store.readDword("MSImageSize", &value), kRegistryOk);
    EXPECT_EQ(value, 90u);

    // The user's value of the other type hides the root's.
    ASSERT_EQ(store.writeDword("Greeting", 5), kRegistryOk);
    EXPECT_EQ(store.readString("Greeting", &text), kRegistryUnsupportedType);
    EXPECT_EQ(store.type("Greeting", &type), kRegistryOk);
    EXPECT_EQ(type, RegistryType::Dword);
}

TEST_F(RegistryLayerTest, DeletingHidesTheRootsValueUntilWrittenAgain) {
    ValueStore store(machine_, user_);
    std::u16string text;
    RegistryType type{};
    uint32_t value = 0;
    ASSERT_EQ(store.deleteValue("msnextoutputlocation"), kRegistryOk);
    EXPECT_EQ(store.readString("MSNextOutputLocation", &text), kRegistryNotFound);
    EXPECT_EQ(store.type("MSNextOutputLocation", &type), kRegistryNotFound);
    EXPECT_EQ(store.deleteValue("MSNextOutputLocation"), kRegistryNotFound);
    // The root keeps its value; only this user no longer sees it.
    EXPECT_EQ(ValueStore(machine_).readString("MSNextOutputLocation", &text), kRegistryOk);

    // Written again, the value shows and the mark is gone.
    ASSERT_EQ(store.writeString("MSNextOutputLocation", u"/home/u/out/"), kRegistryOk);
    EXPECT_EQ(store.readString("MSNextOutputLocation", &text), kRegistryOk);
    EXPECT_EQ(text, u"/home/u/out/");
    EXPECT_EQ(filesIn(user_), std::set<std::string>{"msnextoutputlocation"});

    // Deleting the user's own override of a root value removes both views.
    ASSERT_EQ(store.deleteValue("MSNextOutputLocation"), kRegistryOk);
    EXPECT_EQ(store.readString("MSNextOutputLocation", &text), kRegistryNotFound);

    // A value only the user has leaves no mark behind; an absent one is
    // not found and leaves nothing either.
    ASSERT_EQ(store.writeDword("PrinterStartMode", 3), kRegistryOk);
    ASSERT_EQ(store.deleteValue("PrinterStartMode"), kRegistryOk);
    EXPECT_EQ(store.readDword("PrinterStartMode", &value), kRegistryNotFound);
    EXPECT_EQ(store.deleteValue("Nothing"), kRegistryNotFound);
#ifdef _WIN32
    EXPECT_TRUE(filesIn(user_).empty());
    EXPECT_EQ(filesIn(user_ + "\\~deleted"), std::set<std::string>{"msnextoutputlocation"});
#else
    EXPECT_EQ(filesIn(user_), std::set<std::string>{"msnextoutputlocation~deleted"});
#endif

    // No value name can be taken for a mark.
    ASSERT_EQ(store.writeDword("Flags~deleted", 1), kRegistryOk);
    EXPECT_EQ(store.readDword("Flags", &value), kRegistryOk);
    EXPECT_EQ(value, 1u);

    // The longest name still gets its mark.
    const std::string longest(239, 'n');
    ASSERT_EQ(ValueStore(machine_).writeDword(longest, 7), kRegistryOk);
    EXPECT_EQ(store.deleteValue(longest), kRegistryOk);
    EXPECT_EQ(store.readDword(longest, &value), kRegistryNotFound);
    EXPECT_EQ(store.writeDword(std::string(240, 'n'), 1), kRegistryInvalidParameter);
}

TEST_F(RegistryLayerTest, ALayerThatCannotBeWrittenRefusesWritesButStillReads) {
    ValueStore none(machine_, "");
#ifdef _WIN32
    // A bare hive is no key to keep values in.
    ValueStore blocked(machine_, "HKEY_CURRENT_USER");
#else
    ValueStore blocked(machine_, dir_.put("a-file", "x") + "/registry");
#endif
    for (ValueStore* store : {&none, &blocked}) {
        uint32_t value = 0;
        EXPECT_EQ(store->readDword("Flags", &value), kRegistryOk);
        EXPECT_EQ(value, 1u);
        EXPECT_EQ(store->writeDword("Flags", 2), kRegistryAccessDenied);
        EXPECT_EQ(store->writeString("Greeting", u"x"), kRegistryAccessDenied);
        EXPECT_EQ(store->deleteValue("Flags"), kRegistryAccessDenied);
        EXPECT_EQ(store->deleteValue("Nothing"), kRegistryNotFound);
        EXPECT_EQ(store->readDword("Flags", &value), kRegistryOk);
    }
    EXPECT_EQ(machineDword("Flags"), 1u);
}

TEST_F(RegistryLayerTest, CopyForTheDriverIsTheUsersView) {
    ValueStore store(machine_, user_);
    ASSERT_EQ(store.writeString("Greeting", u"hi"), kRegistryOk);
    ASSERT_EQ(store.deleteValue("MSNextOutputLocation"), kRegistryOk);
    ASSERT_EQ(store.writeDword("PrinterStartMode", 2), kRegistryOk);
#ifdef _WIN32
    // A value of a type the store does not hold is not copied.
    HKEY machineKey = nullptr;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, machine_.c_str(), 0, KEY_SET_VALUE, &machineKey), ERROR_SUCCESS);
    const BYTE blob[3] = {1, 2, 3};
    ASSERT_EQ(::RegSetValueExW(machineKey, L"Blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
    ::RegCloseKey(machineKey);
#else
    // Neither a half-written file nor a stray directory is a value.
    std::ofstream(user_ + "/flags.0badf00d.tmp") << "dword\n9\n";
    fs::create_directory(machine_ + "/folder");
#endif

    const std::string copy = absent("copy");
    ASSERT_EQ(store.copyValuesTo(copy), kRegistryOk);
    EXPECT_EQ(filesIn(copy), (std::set<std::string>{"flags", "greeting", "printerstartmode"}));
    ValueStore plain(copy);
    EXPECT_FALSE(plain.layered());
    uint32_t value = 0;
    std::u16string text;
    EXPECT_EQ(plain.readDword("Flags", &value), kRegistryOk);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(plain.readString("Greeting", &text), kRegistryOk);
    EXPECT_EQ(text, u"hi");
    EXPECT_EQ(plain.readDword("PrinterStartMode", &value), kRegistryOk);
    EXPECT_EQ(value, 2u);

    // The driver consumes the one-shot value from its copy; the consumption
    // carried back through the user's view leaves the root alone.
    ASSERT_EQ(store.writeString("MSNextOutputLocation", u"/home/u/"), kRegistryOk);
    ASSERT_EQ(store.copyValuesTo(copy), kRegistryOk);
    ASSERT_EQ(plain.deleteValue("MSNextOutputLocation"), kRegistryOk);
    ASSERT_EQ(store.deleteValue("MSNextOutputLocation"), kRegistryOk);
    EXPECT_EQ(store.readString("MSNextOutputLocation", &text), kRegistryNotFound);
    EXPECT_EQ(ValueStore(machine_).readString("MSNextOutputLocation", &text), kRegistryOk);

    // A store without a layer is copied as it is; missing roots copy nothing.
    const std::string second = absent("second");
    ASSERT_EQ(ValueStore(machine_).copyValuesTo(second), kRegistryOk);
    EXPECT_EQ(filesIn(second), (std::set<std::string>{"flags", "greeting", "msnextoutputlocation"}));
    const std::string empty = absent("empty");
    EXPECT_EQ(ValueStore(absent("none"), absent("none-user")).copyValuesTo(empty), kRegistryOk);
    EXPECT_TRUE(filesIn(empty).empty());
}

#ifndef _WIN32
TEST(RegistryLayerPlace, FromTheEnvironmentOrTheHomeDirectory) {
    ScopedEnv home("HOME", "/home/someone");
    {
        ScopedEnv user("TESSALY_REGISTRY_USER_ROOT", "/layers/mine");
        EXPECT_EQ(ValueStore::configuredUserRoot(), "/layers/mine");
    }
    ScopedEnv user("TESSALY_REGISTRY_USER_ROOT", "");
    {
        ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
        EXPECT_EQ(ValueStore::configuredUserRoot(), "/cfg/tessaly/registry");
    }
    // A relative configuration directory is no directory at all.
    ScopedEnv config("XDG_CONFIG_HOME", "relative");
    EXPECT_EQ(ValueStore::configuredUserRoot(), "/home/someone/.config/tessaly/registry");
    ScopedEnv noHome("HOME", nullptr);
    const std::string fromPasswd = ValueStore::configuredUserRoot();
    if (const passwd* entry = ::getpwuid(::geteuid()); entry && entry->pw_dir && entry->pw_dir[0] == '/') {
        EXPECT_TRUE(fromPasswd.starts_with(entry->pw_dir)) << fromPasswd;
        EXPECT_TRUE(fromPasswd.ends_with("/.config/tessaly/registry")) << fromPasswd;
    }
}

// What an ordinary user sees of a root written by the installation, through
// the configured store and the helpers the application and driver use.
// Returns the checks that failed, one a line.
std::string checkAsUser(const std::string& machine, const std::string& home, const std::string& locked) {
    std::string failures;
    auto check = [&failures](bool ok, const char* what) {
        if (!ok) failures += std::string(what) + "\n";
    };
    ::setenv("TESSALY_REGISTRY_ROOT", machine.c_str(), 1);
    ::unsetenv("TESSALY_REGISTRY_USER_ROOT");
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", home.c_str(), 1);
    const std::string layer = home + "/.config/tessaly/registry";
    const ValueStore store;
    check(store.layered() && store.userRoot() == layer, "the configured store is layered in the home directory");
    uint32_t value = 0;
    check(registryReadDword("Flags", &value) == kRegistryOk && value == 1, "the root's value reads through");
    check(registryWriteDword("Flags", 2) == kRegistryOk, "writing succeeds");
    check(registryReadDword("Flags", &value) == kRegistryOk && value == 2, "the written value reads back");
    check(registryDeleteValue("MSNextOutputLocation") == kRegistryOk, "deleting the root's value succeeds");
    char16_t wide[64];
    check(registryReadWideString("MSNextOutputLocation", wide, sizeof wide) == kRegistryNotFound,
          "the deleted value is gone");
    struct stat st {};
    check(::stat(layer.c_str(), &st) == 0 && (st.st_mode & 0777) == 0700, "the layer is the user's alone");
    check(::stat((home + "/.config").c_str(), &st) == 0 && (st.st_mode & 0777) == 0700,
          "the directories made above the layer are the user's alone");

    // With no home directory to write, writes are refused with a code.
    ::setenv("HOME", locked.c_str(), 1);
    check(registryWriteDword("Flags", 3) == kRegistryAccessDenied, "writing without a layer is denied");
    check(registryDeleteValue("Greeting") == kRegistryAccessDenied, "deleting without a layer is denied");
    check(registryReadWideString("Greeting", wide, sizeof wide) == kRegistryOk && std::u16string(wide) == u"hello",
          "reading without a layer still sees the root");
    return failures;
}

TEST_F(RegistryLayerTest, TheConfiguredStoreIsLayeredForAUserWhoCannotWriteTheRoot) {
    const std::string home = dir_ / "home";
    const std::string locked = dir_ / "locked";
    fs::create_directory(home);
    fs::create_directory(locked);
    fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::permissions(machine_, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                  fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_exec);
    struct Restore {
        std::string machine;
        ~Restore() { fs::permissions(machine, fs::perms::owner_write, fs::perm_options::add); }
    } restore{machine_};

    if (::geteuid() != 0) {
        ScopedEnv root("TESSALY_REGISTRY_ROOT", nullptr), user("TESSALY_REGISTRY_USER_ROOT", nullptr),
            config("XDG_CONFIG_HOME", nullptr), homeEnv("HOME", nullptr);
        EXPECT_EQ(checkAsUser(machine_, home, locked), "");
        EXPECT_EQ(machineDword("Flags"), 1u);
        return;
    }

    // The administrator never gets the layer.
    {
        ScopedEnv root("TESSALY_REGISTRY_ROOT", machine_.c_str());
        ValueStore store;
        EXPECT_FALSE(store.layered());
    }
    const passwd* nobody = ::getpwnam("nobody");
    if (!nobody) GTEST_SKIP() << "no user 'nobody' to run as";
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;
    ASSERT_EQ(::chown(home.c_str(), uid, gid), 0);

    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeEnds[0]);
        std::string failures;
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) {
            failures = "cannot become nobody\n";
        } else {
            failures = checkAsUser(machine_, home, locked);
        }
        const ssize_t written = ::write(pipeEnds[1], failures.data(), failures.size());
        ::_exit(written == ssize_t(failures.size()) ? 0 : 1);
    }
    ::close(pipeEnds[1]);
    std::string failures;
    char chunk[256];
    for (ssize_t n; (n = ::read(pipeEnds[0], chunk, sizeof chunk)) > 0;) failures.append(chunk, size_t(n));
    ::close(pipeEnds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(failures, "");

    // The root is as the installation left it; the layer belongs to the user.
    EXPECT_EQ(machineDword("Flags"), 1u);
    std::u16string text;
    EXPECT_EQ(ValueStore(machine_).readString("MSNextOutputLocation", &text), kRegistryOk);
    struct stat st {};
    ASSERT_EQ(::stat((home + "/.config/tessaly/registry/flags").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, uid);
}

#endif  // !_WIN32

}  // namespace
}  // namespace tessaly
