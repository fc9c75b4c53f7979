# Installation in the usual places and the Debian package (Linux only).
#
#   cmake --install build                 (under CMAKE_INSTALL_PREFIX, /usr/local by default)
#   scripts/package.sh                     (fh-sendwarden_VERSION_ARCH.deb, installing under /usr)
#
# The package holds the files of this build folder under its install prefix,
# so the places compiled into the program are the places the package fills.
#
# The program finds its runner-script interpreter beside itself first, then
# where this installation put it, so that a copy of the program file anywhere
# (one copy per mailer) still runs its runner script.
include(GNUInstallDirs)

set(FHSW_RUNNER_INSTALL_DIR "${CMAKE_INSTALL_LIBEXECDIR}/fh-sendwarden")
if(IS_ABSOLUTE "${FHSW_RUNNER_INSTALL_DIR}")
  set(FHSW_RUNNER_INSTALL_FULL "${FHSW_RUNNER_INSTALL_DIR}/fh-sendwarden-run")
else()
  set(FHSW_RUNNER_INSTALL_FULL "${CMAKE_INSTALL_PREFIX}/${FHSW_RUNNER_INSTALL_DIR}/fh-sendwarden-run")
endif()
target_compile_definitions(fhsw_platform PRIVATE
  FHSW_INSTALLED_RUNNER="${FHSW_RUNNER_INSTALL_FULL}")

install(TARGETS fh-sendwarden-run RUNTIME DESTINATION "${FHSW_RUNNER_INSTALL_DIR}")
install(TARGETS fh-sendwarden-setup RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
if(FHSW_BUILD_VIEW)
  install(TARGETS fh-sendwarden RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
  install(FILES "${CMAKE_SOURCE_DIR}/resources/fh-sendwarden.desktop"
          DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
  install(FILES "${CMAKE_SOURCE_DIR}/resources/fh-sendwarden.png"
          DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps")
endif()
install(FILES "${CMAKE_SOURCE_DIR}/README.md"
        DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/doc/fh-sendwarden")

# The Debian package.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "fh-sendwarden")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "FH-SendWarden developers <fh-sendwarden@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small desktop mailer for scheduled, unattended mail")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "small desktop mailer for scheduled, unattended mail\n FH-SendWarden keeps one prepared mail per copy of its program file (server,\n sender, recipients, subject, message, one attachment, TLS mode) and sends it\n through the command-line mail client sendemail, at a click or unattended when\n started by a scheduler.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "mail")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
# The mail client, its TLS support and the desktop opener for the log; the
# shared libraries (Qt 6, X11, the C++ runtime) are found by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "sendemail, libio-socket-ssl-perl, libnet-ssleay-perl, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xterm | x-terminal-emulator")
find_program(FHSW_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(FHSW_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS
    ", libqt6widgets6, libqt6gui6, libqt6core6, libx11-6, libstdc++6, libc6")
endif()
include(CPack)
