# The Windows build, cross-compiled with mingw-w64 and tested under Wine. So
# far it holds the subsystems that know nothing of the platform and their
# test suites; the platform layers, the driver, the PDF front end, the
# installer and the application follow as their win32 parts arrive.
include(cmake/WindowsThirdParty.cmake)

# Windows 7 is the oldest system the programs run on; no min/max macros in
# the way of the standard library.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)

add_subdirectory(support)
add_subdirectory(image)
add_subdirectory(swf)

if(TESSALY_TESTS)
  enable_testing()
  add_subdirectory(tests)
endif()
