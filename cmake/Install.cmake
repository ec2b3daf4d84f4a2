# Installation (cmake --install, and the Debian package built from it).
#   bin/                         tolbe, tolbe-cli
#   share/tolbe/                 the shipped code database, Styles/ and the default Update/Server.ini
#   share/applications/, share/metainfo/, share/icons/hicolor/, share/man/man1/, share/doc/tolbe/
# An installed program finds share/tolbe/ from its own folder (ProgramPaths), so DESTDIR and
# --prefix work without rebuilding as long as bin/ and share/ keep their places relative to each other.
include(GNUInstallDirs)

set(TOLBE_UPDATE_URL "" CACHE STRING "URL of the update descriptor (ending in /Update.txt) in the shipped Server.ini; empty: no update check")

set(_share ${CMAKE_INSTALL_DATADIR}/tolbe)
file(RELATIVE_PATH _shipped_from_bin ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_DATADIR}/tolbe)
target_compile_definitions(tolbe_common PRIVATE TOLBE_SHIPPED_FROM_BIN="${_shipped_from_bin}")

set(_install_src ${PROJECT_SOURCE_DIR}/data/install)
set(_programs tolbe-cli)
if(TARGET tolbe)
  list(APPEND _programs tolbe)
endif()
install(TARGETS ${_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${TOLBE_PROGRAM_DIR}/Database/IR_Database.db3 DESTINATION ${_share}/Database)
install(DIRECTORY ${TOLBE_PROGRAM_DIR}/Styles/ DESTINATION ${_share}/Styles)
configure_file(${_install_src}/Server.ini.in ${CMAKE_BINARY_DIR}/install/Server.ini @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/install/Server.ini DESTINATION ${_share}/Update)

# Desktop menu entry, software-centre description and icons.
set(TOLBE_APP_ID com.tolbe_remote.Tolbe)
if(TARGET tolbe)
  install(FILES ${_install_src}/${TOLBE_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  configure_file(${_install_src}/${TOLBE_APP_ID}.metainfo.xml ${CMAKE_BINARY_DIR}/install/${TOLBE_APP_ID}.metainfo.xml
                 @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/install/${TOLBE_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${CMAKE_BINARY_DIR}/app/pictures/icons/tolbe-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME tolbe.png)
  endforeach()
endif()

# Manual pages made from --help at build time. The sanitizers' leak report would fail the step.
find_program(HELP2MAN help2man)
if(HELP2MAN)
  set(_man_pages)
  foreach(program ${_programs})
    set(_page ${CMAKE_BINARY_DIR}/man/${program}.1)
    if(program STREQUAL "tolbe")
      set(_what "program a universal infrared remote control over an audio cable")
    else()
      set(_what "search, encode and play remote-control code sets without windows")
    endif()
    add_custom_command(
      OUTPUT ${_page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen
              ${HELP2MAN} --no-info --section=1 --name=${_what} --include=${_install_src}/tolbe.h2m
              --output=${_page} $<TARGET_FILE:${program}>
      COMMAND gzip -9nf ${_page}
      DEPENDS ${program} ${_install_src}/tolbe.h2m
      COMMENT "Writing the manual page ${program}(1)"
      VERBATIM)
    list(APPEND _man_pages ${_page}.gz)
  endforeach()
  add_custom_target(man_pages ALL DEPENDS ${_man_pages})
  install(FILES ${_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(WARNING "help2man not found: no manual pages (scripts/install-deps.sh installs it)")
endif()

# What a Debian package needs beside the files: copyright and the package's change log.
string(TIMESTAMP _changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${CMAKE_BINARY_DIR}/install/changelog.Debian
     "tolbe (${PROJECT_VERSION}-1) unstable; urgency=medium\n\n"
     "  * Package of Tolbe ${PROJECT_VERSION}, built with CMake.\n\n"
     " -- Tolbe developers <support@tolbe-remote.com>  ${_changelog_date}\n")
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/install/changelog.Debian.gz
  COMMAND gzip -9nkf ${CMAKE_BINARY_DIR}/install/changelog.Debian
  DEPENDS ${CMAKE_BINARY_DIR}/install/changelog.Debian
  VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/install/changelog.Debian.gz)
install(FILES ${_install_src}/copyright ${CMAKE_BINARY_DIR}/install/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tolbe)
install(FILES ${_install_src}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME tolbe)

# The Debian package (scripts/package.sh): cpack -G DEB.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tolbe)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tolbe developers")
set(CPACK_PACKAGE_CONTACT "Tolbe developers <support@tolbe-remote.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "program a universal infrared remote control over an audio cable")
set(CPACK_PACKAGE_DESCRIPTION
    "Tolbe programs a four-slot universal infrared remote control (slots TV,\n"
    "SAT, DVD and AUX) from a computer over an audio cable: pick a slot, find\n"
    "the code set of a device in the local code database by device type, brand\n"
    "and model key words, and play it to the remote as a sound signal. It checks\n"
    "an update server for a newer code database and speaks seven languages.\n"
    "tolbe-cli does the same work without windows.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tolbe developers <support@tolbe-remote.com>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its window-system plug-ins at run time, so no library link names them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei, libasound2-plugins")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
