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
add_custom_target(varnex-install-parts DEPENDS ${program_targets} varnex-man)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Varnex")
set(CPACK_PACKAGE_CONTACT "Varnex <info@varnex.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "monitor and logger for GPS-disciplined frequency references")
set(CPACK_PACKAGE_DESCRIPTION
    "Varnex watches a GPS-disciplined frequency and time reference receiver (SCPI units\n"
    "such as the Z3801, Z3805, Z3815, Z3816, Z3817, HP 58503, HP 55300, GCRU, Jackson Labs\n"
    "and Mtron) over a serial line. It charts the 1 PPS time interval and the oscillator's\n"
    "EFC, shows the receiver status, a satellite sky view and C/N levels, keeps weekly\n"
    "data files and logs, and computes nine time-stability measures and the EFC drift.\n"
    "varnex-logger records the same files without a display, varnex-stability analyses\n"
    "them offline, and varnex-receiver-sim simulates a receiver for trying it out.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.varnex.org/")
# Linked libraries give the dependencies; the SVG icon engine is a plugin Qt loads by itself.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
include(CPack)
