# The Windows build, cross-compiled with mingw-w64 and tested under Wine. So
# far it holds the subsystems that know nothing of the platform, the platform
# layers they need, and their test suites; the other platform layers, the
# driver, the PDF front end, the installer and the application follow as
# their win32 parts arrive.
include(cmake/WindowsThirdParty.cmake)

# Windows 7 is the oldest system the programs run on; no min/max macros in
# the way of the standard library; M_PI and the other constants of <cmath>;
# the C99 printf family of mingw-w64's run-time (%zu, and numbers written as
# glibc writes them).
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX _USE_MATH_DEFINES
  __USE_MINGW_ANSI_STDIO=1)

add_subdirectory(support)
# The registry, mutex, locale and font layers (the rest of platform/ is
# skipped there for now).
add_subdirectory(platform)
add_subdirectory(fontcapture)
add_subdirectory(image)
add_subdirectory(swf)
add_subdirectory(swfbuild)
add_subdirectory(composer)
# The command-line tools that need no printer: tessaly-convert and friends.
add_subdirectory(tools)

# deploykit: the installer's stages over the service control manager and the
# print spooler (platform/spooler/win32).
add_subdirectory(installer)

# The printer driver, pagesmith.dll, over gdi32's engine and font calls.
add_subdirectory(printer)

# The application: its logic (app/src), the window (app/win32) and Tessaly.exe.
find_package(Threads REQUIRED)
add_subdirectory(app)
# ---

if(TESSALY_TESTS)
  enable_testing()
  add_subdirectory(tests)
endif()
