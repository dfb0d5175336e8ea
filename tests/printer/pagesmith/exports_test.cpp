// The shared library a spooler loads: it opens on its own and shows only the
// three driver exports; everything else stays inside it.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/winddi.h"

namespace {

TEST(PagesmithLibrary, ExportsOnlyTheDriverEntryPoints) {
    const std::string path = std::string(TESSALY_BIN_DIR) + "/../lib/libpagesmith.so";
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    for (const char* name : {"DrvQueryDriverInfo", "DrvEnableDriver", "DrvDisableDriver"}) {
        EXPECT_NE(::dlsym(library, name), nullptr) << name;
    }
    for (const char* name : {"DrvEnablePDEV", "DrvStartPage", "_ZN7tessaly7jobKeyEv"}) {
        EXPECT_EQ(::dlsym(library, name), nullptr) << name;
    }
    // The table comes from the library's own functions.
    auto enable = reinterpret_cast<WINBOOL (*)(ULONG, ULONG, DRVENABLEDATA*)>(::dlsym(library, "DrvEnableDriver"));
    ASSERT_NE(enable, nullptr);
    DRVENABLEDATA data{};
    ASSERT_TRUE(enable(DDI_DRIVER_VERSION_NT5, sizeof data, &data));
    EXPECT_EQ(data.c, 24u);
    EXPECT_EQ(data.pdrvfn[0].iFunc, ULONG(INDEX_DrvEnablePDEV));
    ::dlclose(library);
}

}  // namespace
