# What `cmake --install` lays out (and the Debian package holds):
#   bin/                 the programs
#   lib/tessaly/         the printer driver libpagesmith.so and the shared
#                        libraries the programs and the driver need, private
#                        to Tessaly; programs find them through their RPATH
#   share/tessaly/       the data directory (BasePath): settings, interfaces,
#                        progress movies, HTML templates, help, skin, Ruffle
#   lib/systemd/user/    user units that start the monitor when a job arrives
#   the print server's backend and model directories (cups-config): the
#                        backend "tessaly" and the printer's PPD, when built
include(GNUInstallDirs)

set(TESSALY_INSTALL_LIBDIR "lib/tessaly")
# The spool root the installation's values name (tessaly-setup-values'
# default as well).
set(TESSALY_SPOOL_ROOT "/var/spool/tessaly/")
set(TESSALY_INSTALL_DATADIR "${CMAKE_INSTALL_DATADIR}/tessaly")

# The print server's directories, as cups-config reports them.
find_program(TESSALY_CUPS_CONFIG cups-config)
set(cups_serverbin "/usr/lib/cups")
set(cups_datadir "/usr/share/cups")
if(TESSALY_CUPS_CONFIG)
  execute_process(COMMAND ${TESSALY_CUPS_CONFIG} --serverbin OUTPUT_VARIABLE cups_serverbin
    OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE cups_result)
  execute_process(COMMAND ${TESSALY_CUPS_CONFIG} --datadir OUTPUT_VARIABLE cups_datadir
    OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
set(TESSALY_CUPS_BACKEND_DIR "${cups_serverbin}/backend" CACHE PATH "Where the print server looks for backends")
set(TESSALY_CUPS_MODEL_DIR "${cups_datadir}/model" CACHE PATH "Where the print server looks for PPD files")

# The programs and the libraries they load.
set(tessaly_programs tessaly tessaly-print tessaly-convert tessaly-setup-values)
foreach(program deploykit)
  if(TARGET ${program})
    list(APPEND tessaly_programs ${program})
  endif()
endforeach()
set(tessaly_shared_libraries tessaly_platform_fonts tessaly_gdi)
if(TARGET pagesmith)
  list(APPEND tessaly_shared_libraries pagesmith)
endif()

foreach(program IN LISTS tessaly_programs)
  set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/../${TESSALY_INSTALL_LIBDIR}")
endforeach()
foreach(library IN LISTS tessaly_shared_libraries)
  set_target_properties(${library} PROPERTIES INSTALL_RPATH "$ORIGIN")
endforeach()
# The installation's test installs all of it, so it needs all of it built.
if(TARGET tests_install)
  string(REPLACE ";" "," installed_programs "${tessaly_programs}")
  target_compile_definitions(tests_install PRIVATE TESSALY_INSTALLED_PROGRAMS="${installed_programs}")
  add_dependencies(tests_install ${tessaly_programs} ${tessaly_shared_libraries} tessaly_data)
endif()
# Tests that run the programs as other users install the build where those
# users can reach it (tests/common/reachable_install.h).
foreach(suite tests_tools tests_cups)
  if(TARGET ${suite})
    target_compile_definitions(${suite} PRIVATE TESSALY_BUILD_DIR="${CMAKE_BINARY_DIR}"
      TESSALY_CMAKE_COMMAND="${CMAKE_COMMAND}" TESSALY_INSTALL_PREFIX="${CMAKE_INSTALL_PREFIX}")
    add_dependencies(${suite} ${tessaly_programs} ${tessaly_shared_libraries} tessaly_data)
    foreach(extra tessaly-backend tessaly_ppd)
      if(TARGET ${extra})
        add_dependencies(${suite} ${extra})
      endif()
    endforeach()
  endif()
endforeach()
if(TARGET tests_install)
  foreach(extra tessaly-backend tessaly_ppd)
    if(TARGET ${extra})
      add_dependencies(tests_install ${extra})
    endif()
  endforeach()
endif()
# tessaly is installed by the application's own rules.
list(REMOVE_ITEM tessaly_programs tessaly)
install(TARGETS ${tessaly_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS ${tessaly_shared_libraries} LIBRARY DESTINATION ${TESSALY_INSTALL_LIBDIR}
  NAMELINK_SKIP)

# The backend runs as root (its file is private to root), so that it can give
# each user's spool directory to that user; it lives outside the prefix, so
# it finds the libraries by their installed path.
foreach(backend tessaly-backend tessaly_backend)
  if(TARGET ${backend})
    if(TARGET tests_install)
      add_dependencies(tests_install ${backend})
    endif()
    # Beside the libraries ($ORIGIN) as deploykit's source for the port, and
    # in CUPS's backend directory (the installed path).
    set_target_properties(${backend} PROPERTIES
      INSTALL_RPATH "$ORIGIN;${CMAKE_INSTALL_PREFIX}/${TESSALY_INSTALL_LIBDIR}")
    install(PROGRAMS $<TARGET_FILE:${backend}> DESTINATION ${TESSALY_CUPS_BACKEND_DIR} RENAME tessaly
      PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    install(PROGRAMS $<TARGET_FILE:${backend}> DESTINATION ${TESSALY_INSTALL_LIBDIR}
      PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    break()
  endif()
endforeach()
# The PPD: one the build generates (TESSALY_CUPS_PPD) or one in printer/cups/.
if(NOT DEFINED TESSALY_CUPS_PPD)
  file(GLOB tessaly_source_ppds "${PROJECT_SOURCE_DIR}/printer/cups/*.ppd")
  set(TESSALY_CUPS_PPD ${tessaly_source_ppds})
endif()
if(TESSALY_CUPS_PPD)
  install(FILES ${TESSALY_CUPS_PPD} DESTINATION "${TESSALY_CUPS_MODEL_DIR}/tessaly")
endif()

# The user units that start the monitor when a job arrives (not enabled:
# a user who wants it enables the path unit).
foreach(unit tessaly-monitor.path tessaly-monitor.service)
  configure_file("${PROJECT_SOURCE_DIR}/packaging/systemd/${unit}.in" "${CMAKE_BINARY_DIR}/packaging/${unit}" @ONLY)
  install(FILES "${CMAKE_BINARY_DIR}/packaging/${unit}" DESTINATION "${CMAKE_INSTALL_PREFIX}/lib/systemd/user")
endforeach()
