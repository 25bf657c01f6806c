# Installation under the prefix and the Debian package (make package).
include(GNUInstallDirs)

set(LARKPAD_DESKTOP_DIR ${CMAKE_CURRENT_SOURCE_DIR}/src/files/desktop)
configure_file(${LARKPAD_DESKTOP_DIR}/io.github.larkpad.larkpad.metainfo.xml.in
               ${CMAKE_CURRENT_BINARY_DIR}/io.github.larkpad.larkpad.metainfo.xml @ONLY)

install(TARGETS lkp RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(LARKPAD_GUI)
  install(TARGETS larkpad RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${LARKPAD_DESKTOP_DIR}/io.github.larkpad.larkpad.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${LARKPAD_DESKTOP_DIR}/larkpad.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
  install(FILES src/main/icons/larkpad.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES src/main/icons/larkpad.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/mimetypes
          RENAME application-x-larkpad.svg)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/io.github.larkpad.larkpad.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# The package's own triggers of shared-mime-info, desktop-file-utils and the icon theme
# refresh the system's caches when it is installed.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME larkpad)
set(CPACK_PACKAGE_VENDOR "Larkpad")
set(CPACK_PACKAGE_CONTACT "${LARKPAD_BUG_EMAIL}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Hierarchical notepad")
set(CPACK_PACKAGE_DESCRIPTION "Notes in a tree of named sections, saved in one .lkp file (Qt 6).\n lkp, the command-line companion, reads and writes the same files.")
set(CPACK_PACKAGE_HOMEPAGE_URL "${LARKPAD_HOMEPAGE_URL}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION editors)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beside what the binaries link: the icons are drawn by Qt's SVG plug-ins.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, desktop-file-utils, xdg-utils")
include(CPack)
