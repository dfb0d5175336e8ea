# The Debian package: `cpack -G DEB` in a build directory configured with
# -DCMAKE_INSTALL_PREFIX=/usr (scripts/make-package.sh does both). The
# package holds what the install rules lay out; its maintainer scripts put
# the installation's values into the value store and the printer into the
# print server (deploykit), and take both away again on removal.
set(TESSALY_PACKAGE_MAINTAINER "Tessaly maintainers <tessaly@korvane.invalid>" CACHE STRING
  "The Debian package's maintainer")
# The names deploykit is given: printer, driver, print processor, port.
set(TESSALY_PRINTER_NAME "Tessaly")
set(TESSALY_DRIVER_NAME "Tessaly Driver")
set(TESSALY_PRINT_PROCESSOR "WinPrint")
set(TESSALY_PORT_NAME "TessalyPort")
set(TESSALY_PPD_NAME "")
if(TESSALY_CUPS_PPD)
  list(GET TESSALY_CUPS_PPD 0 first_ppd)
  get_filename_component(first_ppd_name "${first_ppd}" NAME)
  set(TESSALY_PPD_NAME "${TESSALY_CUPS_MODEL_DIR}/tessaly/${first_ppd_name}")
endif()

set(package_scripts)
foreach(script postinst prerm postrm)
  configure_file("${PROJECT_SOURCE_DIR}/packaging/debian/${script}.in" "${CMAKE_BINARY_DIR}/packaging/debian/${script}"
    @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  list(APPEND package_scripts "${CMAKE_BINARY_DIR}/packaging/debian/${script}")
endforeach()

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "tessaly")
set(CPACK_PACKAGE_VENDOR "Korvane")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${TESSALY_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "virtual printer that turns printed documents into SWF movies")
set(CPACK_PACKAGE_DESCRIPTION
  "Tessaly installs the printer Tessaly. Whatever is printed to it, from any\napplication's print dialog or with lp -d Tessaly, becomes a Flash (SWF) movie\nwith real text and embedded fonts, shown in the Tessaly window (played by\nRuffle) or saved into the user's folder.")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "graphics")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TESSALY_PACKAGE_MAINTAINER}")
# The libraries come from dpkg-shlibdeps (the private ones in lib/tessaly/ are
# the package's own); the print server and its text filter are named here:
# CUPS runs the backend, and cups-filters turns plain text into PDF for it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_BINARY_DIR}/lib")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "cups-daemon, cups-client, cups-filters, fontconfig, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${package_scripts})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
