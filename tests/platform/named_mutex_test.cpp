#include "platform/named_mutex.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "../support/scratch_dir.h"

namespace tessaly {
namespace {

using testing_support::ScratchDir;

class NamedMutexTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.ok());
        runtime_ = dir_ / "run";
        ::setenv("TESSALY_RUNTIME_DIR", runtime_.c_str(), 1);
    }
    void TearDown() override { ::unsetenv("TESSALY_RUNTIME_DIR"); }

    ScratchDir dir_;
    std::string runtime_;
};

TEST_F(NamedMutexTest, InitialOwnershipAlreadyExistsWaitAndRelease) {
    NamedMutex first;
    ASSERT_EQ(first.create("tessaly12345678", true), 1);
    EXPECT_TRUE(first.owned());
    EXPECT_FALSE(first.alreadyExists());
    struct stat st {};
    ASSERT_EQ(::stat(runtime_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    NamedMutex second;
    ASSERT_EQ(second.create("tessaly12345678", true), 1);
    EXPECT_TRUE(second.alreadyExists());
    EXPECT_FALSE(second.owned());
    EXPECT_EQ(second.tryWait(), 0);
    // Another name is another mutex.
    NamedMutex other;
    ASSERT_EQ(other.create("tessaly87654321", true), 1);
    EXPECT_TRUE(other.owned());

    // Ownership nests in one object.
    EXPECT_EQ(first.wait(), 1);
    EXPECT_EQ(first.release(), 1);
    EXPECT_EQ(second.tryWait(), 0);
    EXPECT_EQ(first.release(), 1);
    EXPECT_EQ(first.release(), 0);
    EXPECT_EQ(second.tryWait(), 1);

    // Closing (here by moving over it) releases.
    second = NamedMutex();
    EXPECT_EQ(first.tryWait(), 1);
}

TEST_F(NamedMutexTest, NamesAreKeptInsideTheRuntimeDirectory) {
    for (const char* name : {"../x", "a/b", "..", "_tessaly_interfacesettingsmutex"}) {
        const std::string path = NamedMutex::lockPath(name);
        SCOPED_TRACE(path);
        EXPECT_EQ(std::filesystem::path(path).parent_path(), runtime_);
        EXPECT_EQ(path.find("/", runtime_.size() + 1), std::string::npos);
    }
    EXPECT_TRUE(NamedMutex::lockPath("").empty());
    EXPECT_TRUE(NamedMutex::lockPath(std::string(300, 'a')).empty());
    NamedMutex mutex;
    EXPECT_EQ(mutex.create("", true), 0);
    EXPECT_EQ(mutex.wait(), 0);
}

TEST_F(NamedMutexTest, RefusesARuntimeDirectoryOthersCanWrite) {
    ASSERT_EQ(::mkdir(runtime_.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(runtime_.c_str(), 0777), 0);
    NamedMutex mutex;
    EXPECT_EQ(mutex.create("job", true), 0);
    EXPECT_FALSE(mutex.isOpen());
}

// Two processes claim the same name at once: exactly one gets it.
TEST_F(NamedMutexTest, OneOfTwoProcessesWins) {
    int go[2], hold[2];
    ASSERT_EQ(::pipe(go), 0);
    ASSERT_EQ(::pipe(hold), 0);
    pid_t children[2];
    for (pid_t& child : children) {
        child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            char c;
            ::close(go[1]);
            ::close(hold[1]);
            if (::read(go[0], &c, 1) != 1) ::_exit(3);
            NamedMutex mutex;
            if (!mutex.create("tessaly00000001", true)) ::_exit(4);
            const int won = mutex.owned() && !mutex.alreadyExists() ? 1 : 0;
            // Keep the mutex until the parent has seen both results.
            (void)::read(hold[0], &c, 1);
            ::_exit(won ? 0 : 1);
        }
    }
    ::close(go[0]);
    ::close(hold[0]);
    ASSERT_EQ(::write(go[1], "xx", 2), 2);  // both start together
    ::close(go[1]);
    ::usleep(200 * 1000);
    ::close(hold[1]);  // both may finish
    int winners = 0;
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_LE(WEXITSTATUS(status), 1);
        if (WEXITSTATUS(status) == 0) ++winners;
    }
    EXPECT_EQ(winners, 1);
}

// A holder killed with SIGKILL frees the mutex; a waiter blocked on it gets it.
TEST_F(NamedMutexTest, KilledHolderReleases) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        NamedMutex mutex;
        if (mutex.create("_tessaly_interfacesettingsmutex", true) && mutex.owned()) {
            (void)::write(ready[1], "1", 1);
            for (;;) ::pause();
        }
        ::_exit(2);
    }
    ::close(ready[1]);
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);

    NamedMutex mutex;
    ASSERT_EQ(mutex.create("_tessaly_interfacesettingsmutex", true), 1);
    EXPECT_TRUE(mutex.alreadyExists());
    EXPECT_EQ(mutex.tryWait(), 0);
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(mutex.wait(), 1);
    EXPECT_TRUE(mutex.owned());
}

}  // namespace
}  // namespace tessaly
