#include "platform/named_mutex.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <filesystem>
#include <thread>

#include "../support/scratch_dir.h"
#include "windows_support.h"

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
#ifndef _WIN32
    struct stat st {};
    ASSERT_EQ(::stat(runtime_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
#endif

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
#ifdef _WIN32
        // One object name in the session's namespace, apart from other tests'.
        const std::string prefix = NamedMutex::runtimeDirectory();
        EXPECT_EQ(path.rfind(prefix, 0), 0u);
        EXPECT_EQ(path.find_first_of("\\/", prefix.size()), std::string::npos);
        EXPECT_EQ(path.find('\\'), std::string("Local").size());
#else
        EXPECT_EQ(std::filesystem::path(path).parent_path(), runtime_);
        EXPECT_EQ(path.find("/", runtime_.size() + 1), std::string::npos);
#endif
    }
    EXPECT_TRUE(NamedMutex::lockPath("").empty());
    EXPECT_TRUE(NamedMutex::lockPath(std::string(300, 'a')).empty());
    NamedMutex mutex;
    EXPECT_EQ(mutex.create("", true), 0);
    EXPECT_EQ(mutex.wait(), 0);
}

#ifndef _WIN32
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

#endif  // !_WIN32

// Another object of the same process waits on another thread until the
// holder lets go, as another process would.
TEST_F(NamedMutexTest, AnotherThreadWaitsForTheHolder) {
    NamedMutex holder;
    ASSERT_EQ(holder.create("tessaly00000002", true), 1);
    ASSERT_TRUE(holder.owned());
    std::atomic<int> got{0};
    std::thread waiter([&got] {
        NamedMutex mutex;
        if (!mutex.create("tessaly00000002", false)) return;
        if (mutex.wait() == 1) got = 1;
        got = got + (mutex.release() == 1 ? 1 : 0);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(got.load(), 0);
    EXPECT_EQ(holder.release(), 1);
    waiter.join();
    EXPECT_EQ(got.load(), 2);
    EXPECT_EQ(holder.tryWait(), 1);
}

#ifdef _WIN32
using testing_support::ChildProcess;
using testing_support::isChild;

constexpr const char* kChildRole = "TESSALY_TEST_CHILD";

// An event the parent and its children share, beside the mutexes.
HANDLE sharedEvent(const char* what) {
    const std::string name = NamedMutex::runtimeDirectory() + "event-" + what;
    return ::CreateEventA(nullptr, TRUE, FALSE, name.c_str());
}

// The children's parts of the tests below; skipped when run as tests.
TEST(NamedMutexChild, ClaimWhenToldAndHold) {
    if (!isChild(kChildRole)) GTEST_SKIP() << "a child's part";
    const HANDLE go = sharedEvent("go"), hold = sharedEvent("hold");
    if (::WaitForSingleObject(go, 60000) != WAIT_OBJECT_0) ::ExitProcess(3);
    NamedMutex mutex;
    if (!mutex.create("tessaly00000001", true)) ::ExitProcess(4);
    const bool won = mutex.owned() && !mutex.alreadyExists();
    (void)::WaitForSingleObject(hold, 60000);
    ::ExitProcess(won ? 0 : 1);
}

TEST(NamedMutexChild, HoldUntilKilled) {
    if (!isChild(kChildRole)) GTEST_SKIP() << "a child's part";
    NamedMutex mutex;
    if (mutex.create("_tessaly_interfacesettingsmutex", true) && mutex.owned()) {
        ::SetEvent(sharedEvent("ready"));
        ::Sleep(INFINITE);
    }
    ::ExitProcess(2);
}

// Two processes claim the same name at once: exactly one gets it.
TEST_F(NamedMutexTest, OneOfTwoProcessesWins) {
    const HANDLE go = sharedEvent("go"), hold = sharedEvent("hold");
    ASSERT_TRUE(go && hold);
    ChildProcess first("NamedMutexChild.ClaimWhenToldAndHold", kChildRole);
    ChildProcess second("NamedMutexChild.ClaimWhenToldAndHold", kChildRole);
    ASSERT_TRUE(first.started() && second.started());
    ::SetEvent(go);  // both start together
    ::Sleep(500);
    ::SetEvent(hold);  // both may finish
    const long results[] = {first.exitCode(), second.exitCode()};
    int winners = 0;
    for (const long result : results) {
        ASSERT_TRUE(result == 0 || result == 1) << result;
        if (result == 0) ++winners;
    }
    EXPECT_EQ(winners, 1);
    ::CloseHandle(go);
    ::CloseHandle(hold);
}

// A holder killed outright leaves the mutex abandoned; a waiter blocked on it
// gets it, and the system shows the name as a real mutex meanwhile.
TEST_F(NamedMutexTest, KilledHolderReleases) {
    const HANDLE ready = sharedEvent("ready");
    ASSERT_TRUE(ready);
    ChildProcess child("NamedMutexChild.HoldUntilKilled", kChildRole);
    ASSERT_TRUE(child.started());
    ASSERT_EQ(::WaitForSingleObject(ready, 60000), WAIT_OBJECT_0);
    ::CloseHandle(ready);

    const std::string object = NamedMutex::lockPath("_tessaly_interfacesettingsmutex");
    const HANDLE seen = ::OpenMutexA(SYNCHRONIZE, FALSE, object.c_str());
    EXPECT_TRUE(seen);
    if (seen) {
        EXPECT_EQ(::WaitForSingleObject(seen, 0), DWORD(WAIT_TIMEOUT));
        ::CloseHandle(seen);
    }

    NamedMutex mutex;
    ASSERT_EQ(mutex.create("_tessaly_interfacesettingsmutex", true), 1);
    EXPECT_TRUE(mutex.alreadyExists());
    EXPECT_EQ(mutex.tryWait(), 0);
    // The system ties the mutex to the thread that takes it: the waiter
    // takes and gives it back on its own thread.
    std::atomic<int> waited{0};
    std::thread waiter([&mutex, &waited] {
        if (mutex.wait() != 1 || !mutex.owned()) {
            waited = 2;
            return;
        }
        waited = mutex.release() == 1 ? 1 : 3;
    });
    ::Sleep(200);
    EXPECT_EQ(waited.load(), 0);
    ASSERT_TRUE(child.kill());
    waiter.join();
    EXPECT_EQ(waited.load(), 1);
    EXPECT_EQ(mutex.tryWait(), 1);
}
#endif  // _WIN32

}  // namespace
}  // namespace tessaly
