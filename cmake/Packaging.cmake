# Installation of the host program and its Debian package (Linux builds
# only): vesk-host, its manual page and its documents. The libraries and
# the tests are not installed.
include(GNUInstallDirs)

set(VESK_PACKAGE_MAINTAINER "The VeskProgramManager developers <vesk-host@quorvel.invalid>"
    CACHE STRING "Maintainer field of the Debian package")
set(vesk_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/vesk-host)
set(vesk_deb_dir ${PROJECT_SOURCE_DIR}/packaging/deb)
set(vesk_package_dir ${CMAKE_BINARY_DIR}/packaging)

# The manual page (its version from project()) and the changelog, compressed
# as Debian wants them: gzip -9 without a name or time stamp inside.
configure_file(${PROJECT_SOURCE_DIR}/apps/vesk-host/vesk-host.1.in ${vesk_package_dir}/vesk-host.1 @ONLY)
configure_file(${vesk_deb_dir}/changelog ${vesk_package_dir}/changelog COPYONLY)
add_custom_command(
  OUTPUT ${vesk_package_dir}/vesk-host.1.gz ${vesk_package_dir}/changelog.gz
  COMMAND gzip -9nfk vesk-host.1 changelog
  DEPENDS ${vesk_package_dir}/vesk-host.1 ${vesk_package_dir}/changelog
  WORKING_DIRECTORY ${vesk_package_dir}
  VERBATIM)
add_custom_target(vesk-host-documents ALL DEPENDS ${vesk_package_dir}/vesk-host.1.gz ${vesk_package_dir}/changelog.gz)

# Relocations resolved at start, then read-only (full RELRO), as Debian
# builds its programs.
target_link_options(vesk-host PRIVATE -Wl,-z,now)

# The simulated platform serves the tests, benchmarks and fuzz targets only
# (they still build it): a build without them, as preset deb, skips it.
set_property(TARGET vesk_platform_sim PROPERTY EXCLUDE_FROM_ALL ON)

install(TARGETS vesk-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${vesk_package_dir}/vesk-host.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${vesk_package_dir}/changelog.gz ${vesk_deb_dir}/copyright DESTINATION ${vesk_doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The VeskProgramManager developers")
set(CPACK_PACKAGE_CONTACT "${VESK_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_NAME vesk-host)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VESK_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time (dlopen) for the KWin route, so dpkg-shlibdeps cannot see it.
if(VESK_KWIN)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsystemd0")
endif()
# Documents and URLs are opened with xdg-open; without it only programs start.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "command-line host of the VeskProgramManager plug-in
vesk-host runs the VeskProgramManager plug-in library from scripts and
tests: it sends request texts to the library and prints the replies. The
library starts programs, documents and URLs, and asks the running
instances of a program to close their windows, on X11 and on sway and KWin
Wayland desktops; end --wait waits for them to exit.
.
This package holds the host program only. A program that hosts the
library on Linux builds it from source.")
include(CPack)
