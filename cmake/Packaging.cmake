# What a player installs: the program, its icon in the desktop's theme, a menu entry, the .mpi
# file type with Tarnwick as its handler, AppStream metadata and the Debian package built from
# them (`make package`: cpack -G DEB in a Release build).
include(GNUInstallDirs)

set(TARNWICK_HOMEPAGE "https://tarnwick.example.org"
    CACHE STRING "The project's web address, as the program's help text names it")
set(TARNWICK_MAINTAINER "the Tarnwick team <tarnwick@example.org>")
# The package's own revision: a new .deb of the same program counts up here.
set(TARNWICK_DEB_REVISION 1)
set(TARNWICK_DEB_VERSION "${PROJECT_VERSION}-${TARNWICK_DEB_REVISION}")

# The icon is drawn once, in the program's code; the theme's PNG files are rendered from it.
add_executable(tarnwick-icons ${PROJECT_SOURCE_DIR}/tools/icon_render.cpp)
target_link_libraries(tarnwick-icons PRIVATE tarnwick_app)
set_target_properties(tarnwick-icons PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                                                ${PROJECT_BINARY_DIR}/tools)
set(tarnwick_icon_dir ${PROJECT_BINARY_DIR}/packaging/icons)
set(tarnwick_icon_files)
foreach(size 16 22 24 32 48 64 128 256)
  list(APPEND tarnwick_icon_files ${tarnwick_icon_dir}/${size}x${size}/apps/tarnwick.png)
endforeach()
# Qt's offscreen platform needs no screen; a sanitizer build must not fail on Qt's own leaks.
add_custom_command(
  OUTPUT ${tarnwick_icon_files}
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
          $<TARGET_FILE:tarnwick-icons> ${tarnwick_icon_dir}
  DEPENDS tarnwick-icons
  COMMENT "Rendering the program's icon for the icon theme")
add_custom_target(tarnwick-icon-files ALL DEPENDS ${tarnwick_icon_files})

configure_file(${PROJECT_SOURCE_DIR}/packaging/io.github.tarnwick.Tarnwick.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/packaging/io.github.tarnwick.Tarnwick.metainfo.xml @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.Debian.in
               ${PROJECT_BINARY_DIR}/packaging/changelog.Debian @ONLY)
# Debian wants the changelog and the manual page compressed at maximum, with no name or time
# stamp inside.
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz
  COMMAND gzip -9nkf ${PROJECT_BINARY_DIR}/packaging/changelog.Debian
  DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.Debian)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/packaging/tarnwick.6.gz
  COMMAND gzip -9n < ${PROJECT_SOURCE_DIR}/packaging/tarnwick.6
          > ${PROJECT_BINARY_DIR}/packaging/tarnwick.6.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/tarnwick.6)
add_custom_target(tarnwick-package-docs ALL
                  DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz
                          ${PROJECT_BINARY_DIR}/packaging/tarnwick.6.gz)

# A package in Debian's games section keeps its programs in /usr/games, which is on every user's
# PATH there.
install(TARGETS tarnwick RUNTIME DESTINATION games)
if(TARGET tarnwick-pack)
  install(TARGETS tarnwick-pack RUNTIME DESTINATION games)
endif()
install(DIRECTORY ${tarnwick_icon_dir}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tarnwick.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tarnwick-mpi.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES ${PROJECT_BINARY_DIR}/packaging/io.github.tarnwick.Tarnwick.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_BINARY_DIR}/packaging/tarnwick.6.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright
              ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarnwick)

set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VENDOR "the Tarnwick team")
set(CPACK_PACKAGE_CONTACT "${TARNWICK_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "mod installer for Star Wars Galactic Battlegrounds")
# Debian shows the description as it is: lines under 80 characters, no quotes (CPack would split
# the text at them).
set(CPACK_PACKAGE_DESCRIPTION
    "Tarnwick installs mods (.mpi packages) for Star Wars Galactic Battlegrounds
and its expansion Clone Campaigns, played under Wine or Proton. Every change
is written to the game's mod log before the game file is touched, so whatever
stops an installation, Remove latest puts back every byte of every file the
mod changed.")
set(CPACK_PACKAGE_HOMEPAGE_URL "${TARNWICK_HOMEPAGE}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${TARNWICK_DEB_REVISION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TARNWICK_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The games it installs into run under Wine; Tarnwick itself only reads their prefixes.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS wine)
include(CPack)

if(TARNWICK_TESTS)
  add_executable(icon_files_test ${PROJECT_SOURCE_DIR}/tools/icon_render_test.cpp)
  set_target_properties(icon_files_test PROPERTIES AUTOMOC ON)
  target_link_libraries(icon_files_test PRIVATE tarnwick_app Qt6::Test)
  target_compile_definitions(icon_files_test PRIVATE TARNWICK_ICON_DIR="${tarnwick_icon_dir}")
  add_dependencies(icon_files_test tarnwick-icon-files)
  add_test(NAME icon_files_test COMMAND icon_files_test)
  set_tests_properties(icon_files_test PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen LABELS app)
endif()
