# Install layout and the Debian package. The program and the printer emulator install
# themselves; this adds the desktop entry, the icon and CPack.
include(${CMAKE_CURRENT_LIST_DIR}/Product.cmake)

if(UNIX AND NOT APPLE)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/quilbo.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/pictures/quilbo.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

set(CPACK_PACKAGE_NAME quilbo)
set(CPACK_PACKAGE_VENDOR "${QUILBO_PRODUCT_NAME} developers")
set(CPACK_PACKAGE_CONTACT "Quilbo developers <dev@example.com>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${QUILBO_FILE_DESCRIPTION}")
# Kept to short lines: the Debian control file shows them as written.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Quilbo sends RFID tag data, label formats and batches to an RFID label\n"
  "printer over a serial port or TCP, steps the tag data on after each batch\n"
  "and shows whether the printer encoded the tag. It also sends printer files,\n"
  "prepares the printer at start-up and comes with a printer emulator\n"
  "(quilbo-printer-sim) for tests and demonstrations.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY ${QUILBO_PRODUCT_NAME})
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  # The plugins (window system, SVG pictures) are loaded at run time, so no library scan finds
  # them: they are named here.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libqt6widgets6 (>= 6.4), libqt6network6 (>= 6.4), libqt6serialport6 (>= 6.4), libqt6svg6 (>= 6.4), qt6-qpa-plugins (>= 6.4)")
  find_program(QUILBO_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(QUILBO_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  endif()
endif()

include(CPack)
