#include <gtest/gtest.h>

#include "platform/spool_host.h"

namespace tessaly {
namespace {

std::string fakeDriver(const char* name) { return std::string(TESSALY_LIB_DIR) + "/lib" + name + ".so"; }

// Each refusal is one line that names the library, the step and the cause.
void expectOneLine(const std::string& error, const std::string& path, const char* step, const char* cause) {
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_NE(error.find(step), std::string::npos) << error;
    EXPECT_NE(error.find(cause), std::string::npos) << error;
}

TEST(DriverLibrary, EachFailingStepGivesOneLine) {
    DriverLibrary library;
    std::string error;
    const std::string missing = "/nonexistent/libpagesmith.so";
    EXPECT_EQ(library.load(missing, &error), 0);
    expectOneLine(error, missing, "cannot load the library", "No such file");
    EXPECT_FALSE(library.loaded());

    const std::string noExports = fakeDriver("fake_driver_no_exports");
    EXPECT_EQ(library.load(noExports, &error), 0);
    expectOneLine(error, noExports, "no export DrvQueryDriverInfo", "undefined symbol");

    const std::string kernel = fakeDriver("fake_driver_kernel_mode");
    EXPECT_EQ(library.load(kernel, &error), 0);
    expectOneLine(error, kernel, "DrvQueryDriverInfo", "not a user-mode driver");

    const std::string refusing = fakeDriver("fake_driver_refuse_enable");
    EXPECT_EQ(library.load(refusing, &error), 0);
    expectOneLine(error, refusing, "DrvEnableDriver failed", "last error 119");
    EXPECT_FALSE(library.loaded());
}

TEST(SpoolHost, ADriverThatCannotLoadLeavesNoDevice) {
    SpoolHost host;
    SpoolOptions options;
    options.driverPath = "/nonexistent/libpagesmith.so";
    std::string error;
    EXPECT_EQ(host.open(options, &error), 0);
    expectOneLine(error, options.driverPath, "cannot load the library", "No such file");
}

}  // namespace
}  // namespace tessaly
