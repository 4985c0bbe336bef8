# The Debian package: the program with its example configuration in /opt/morvane
# (the files live beside the program), a starter in /usr/bin, an entry in the
# applications menu with its icon, and a systemd service and timer for the nightly
# unattended run, installed but not enabled.
#   cpack -G DEB   (in a build folder of the program; scripts/package.sh builds one
#                   without sanitizers and does it all)

if(NOT TARGET morvane)
  return()
endif()

set(_pkg "${PROJECT_SOURCE_DIR}/packaging")
set(_dir "opt/morvane")

install(TARGETS morvane RUNTIME DESTINATION ${_dir})
install(FILES "${_pkg}/AppLogger.xml" "${_pkg}/morvane.ini" DESTINATION ${_dir})
# The connection profile holds the administrator's password: its owner alone reads it.
install(FILES "${_pkg}/Database.ini" DESTINATION ${_dir} PERMISSIONS OWNER_READ OWNER_WRITE)
install(PROGRAMS "${_pkg}/StopServices.cmd" "${_pkg}/MidProcess.cmd" "${_pkg}/StartServices.cmd"
        DESTINATION ${_dir})
install(PROGRAMS "${_pkg}/morvane.sh" DESTINATION usr/bin RENAME morvane)
# The applications menu, under System: the entry starts the starter above.
install(FILES "${_pkg}/morvane.desktop" DESTINATION usr/share/applications)
install(FILES "${_pkg}/morvane.svg" DESTINATION usr/share/icons/hicolor/scalable/apps)
install(FILES "${_pkg}/systemd/morvane-nightly.service" "${_pkg}/systemd/morvane-nightly.timer"
        "${_pkg}/systemd/morvane-nightly@.service" "${_pkg}/systemd/morvane-nightly@.timer"
        DESTINATION lib/systemd/system)
install(FILES "${_pkg}/README.Debian" DESTINATION usr/share/doc/morvane)
# The manual page, with the project's version in its footer, gzipped as Debian wants
# it (-n: no name or time stamp inside, so the same source makes the same file).
configure_file("${_pkg}/morvane.1" "${CMAKE_CURRENT_BINARY_DIR}/man/morvane.1" @ONLY)
find_program(MORVANE_GZIP gzip REQUIRED)
execute_process(COMMAND "${MORVANE_GZIP}" -9 -n -c "${CMAKE_CURRENT_BINARY_DIR}/man/morvane.1"
                OUTPUT_FILE "${CMAKE_CURRENT_BINARY_DIR}/man/morvane.1.gz" RESULT_VARIABLE _gzip_result)
if(NOT _gzip_result EQUAL 0)
  message(FATAL_ERROR "gzip of the manual page failed: ${_gzip_result}")
endif()
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/man/morvane.1.gz" DESTINATION usr/share/man/man1)

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "morvane")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Calvenor")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firebird database maintenance: header, settings, backup and restore cycle")
set(CPACK_PACKAGE_DESCRIPTION
    "Morvane shows a Firebird database's header statistics, changes its page buffers,\n"
    "sweep interval, reserve space and write mode, and rebuilds it by a backup-then-restore\n"
    "cycle, by hand or unattended (AUTO) from the nightly systemd timer.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
# Paths above are relative to the root of the target system.
set(CPACK_PACKAGING_INSTALL_PREFIX "/")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Calvenor <morvane@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION "admin")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# The linked libraries come from dpkg-shlibdeps; the client library is loaded at run
# time and the offscreen platform of a headless run is a plugin, so neither shows there.
find_program(MORVANE_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(MORVANE_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libfbclient2")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libfbclient2, libqt6widgets6, libqt6gui6, libqt6core6, libpugixml1v5, libstdc++6, libc6")
endif()
# gfix shuts the database down when workstations stay attached.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "firebird3.0-utils, firebird3.0-server")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    "${_pkg}/debian/conffiles" "${_pkg}/debian/postinst" "${_pkg}/debian/prerm" "${_pkg}/debian/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
