# What an installed Varnex consists of, and the Debian package made from it:
#   cmake --build build --target varnex-install-parts && cpack --config build/CPackConfig.cmake
# (scripts/package.sh does both). Installed programs keep their files in the user's
# data folder, never beside themselves.
include(GNUInstallDirs)

# Installed under these names; the package check reads the list back.
set(VARNEX_INSTALLED_PROGRAMS)
set(program_targets)
foreach(target Varnex varnex-stability varnex-logger varnex-receiver-sim)
  if(TARGET ${target})
    string(TOLOWER ${target} program)
    list(APPEND VARNEX_INSTALLED_PROGRAMS ${program})
    list(APPEND program_targets ${target})
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
if(NOT VARNEX_INSTALLED_PROGRAMS)
  return()
endif()
string(REPLACE ";" "\n" programs "${VARNEX_INSTALLED_PROGRAMS}")
file(WRITE ${CMAKE_BINARY_DIR}/varnex-programs.txt "${programs}\n")

if(TARGET Varnex)
  # Commands are lower case; the build tree keeps Varnex, which the scripts and tests run.
  install(CODE "file(RENAME \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/Varnex\"
                              \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/varnex\")")
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/org.varnex.Varnex.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/org.varnex.Varnex.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/org.varnex.Varnex.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/varnex)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/varnex)
# Event commands to copy and adapt.
install(FILES ${CMAKE_SOURCE_DIR}/contrib/varnex-event-mail ${CMAKE_SOURCE_DIR}/contrib/varnex-event-webhook
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/varnex/examples)
set(changelog ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND gzip -9n -c ${CMAKE_CURRENT_LIST_DIR}/debian/changelog > ${changelog}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/debian/changelog VERBATIM)
add_custom_target(varnex-changelog ALL DEPENDS ${changelog})
install(FILES ${changelog} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/varnex)

# varnex-logger as a system service: the unit and its user, under /usr/lib whatever
# the library folder; installing the package neither enables nor starts it.
if(TARGET varnex-logger)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/systemd/varnex-logger.service DESTINATION lib/systemd/system)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/systemd/varnex.sysusers DESTINATION lib/sysusers.d RENAME varnex.conf)
endif()

# Manual pages, compressed as Debian keeps them.
set(man_pages)
foreach(program ${VARNEX_INSTALLED_PROGRAMS})
  set(page ${CMAKE_BINARY_DIR}/man/${program}.1.gz)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND gzip -9n -c ${CMAKE_CURRENT_LIST_DIR}/man/${program}.1 > ${page}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/man/${program}.1 VERBATIM)
  list(APPEND man_pages ${page})
endforeach()
add_custom_target(varnex-man ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Everything the install step needs, without the tests and benchmarks.
add_custom_target(varnex-install-parts DEPENDS ${program_targets} varnex-man varnex-changelog)
# Installing (and packing) builds nothing more: the tests and benchmarks are not in it.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Varnex")
set(CPACK_PACKAGE_CONTACT "Varnex <info@varnex.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "monitor and logger for GPS-disciplined frequency references")
# Lines of at most 80 characters, as Debian reads them.
set(CPACK_PACKAGE_DESCRIPTION
    "Varnex watches a GPS-disciplined frequency and time reference receiver\n"
    "(SCPI units such as the Z3801, Z3805, Z3815, Z3816, Z3817, HP 58503,\n"
    "HP 55300, GCRU, Jackson Labs and Mtron) over a serial line. It charts the\n"
    "1 PPS time interval and the oscillator's EFC, shows the receiver status, a\n"
    "satellite sky view and C/N levels, keeps weekly data files and logs, and\n"
    "computes nine time-stability measures and the EFC drift. Status changes, a\n"
    "lost line and receiver errors run a command and show as notifications.\n"
    "varnex-logger records the same files without a display (a systemd service\n"
    "is included, not enabled), varnex-stability analyses them offline, and\n"
    "varnex-receiver-sim simulates a receiver for trying it out.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.varnex.org/")
# Linked libraries give the dependencies; the SVG icon engine is a plugin Qt loads by itself.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, adduser")
# The service's user is made at install; purging leaves the recorded data.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${CMAKE_CURRENT_LIST_DIR}/debian/postinst;${CMAKE_CURRENT_LIST_DIR}/debian/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
include(CPack)
