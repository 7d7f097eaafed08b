# Install layout and the Debian package. The program and the printer emulator install
# themselves; this adds the hardening flags, the desktop entry, the icon, the AppStream
# metadata, the manual pages, the copyright file, the changelog and CPack. Included before the
# targets are defined, so that the flags reach every object file.
include(${CMAKE_CURRENT_LIST_DIR}/Product.cmake)

# Manual pages, one a line; the section is the file's extension.
set(QUILBO_MAN_PAGES
    quilbo.1
    quilbo-printer-sim.1
    quilbo-batch.1
)

# What a distribution builds with (dpkg-buildflags). Off under the sanitizers, which bring their
# own checks, and fortify only where the optimizer runs, as it needs.
option(QUILBO_HARDENING "Build with stack protector, fortified functions and full RELRO" ON)
if(QUILBO_HARDENING AND NOT MSVC AND NOT QUILBO_SANITIZE AND NOT QUILBO_FUZZ)
  add_compile_options(-fstack-protector-strong
                      $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
  if(UNIX AND NOT APPLE)
    add_link_options(LINKER:-z,relro,-z,now)
  endif()
endif()

# The changelog and the AppStream release carry the version too: a version bump without an
# entry in them would ship a package that contradicts itself.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog QUILBO_CHANGELOG_TOP LIMIT_COUNT 1)
if(NOT QUILBO_CHANGELOG_TOP MATCHES "^quilbo \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog starts with \"${QUILBO_CHANGELOG_TOP}\"; "
                      "add an entry for version ${PROJECT_VERSION} at its top")
endif()
file(READ ${CMAKE_CURRENT_LIST_DIR}/org.quilbo.Quilbo.metainfo.xml QUILBO_METAINFO)
if(NOT QUILBO_METAINFO MATCHES "<releases>[ \t\r\n]*<release version=\"${PROJECT_VERSION}\"")
  message(FATAL_ERROR "packaging/org.quilbo.Quilbo.metainfo.xml: the first <release> must be version "
                      "${PROJECT_VERSION}")
endif()

if(UNIX AND NOT APPLE)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/org.quilbo.Quilbo.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/pictures/quilbo.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/org.quilbo.Quilbo.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # The format of the example in quilbo-batch --help and its manual page.
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/examples/label.fmt
          DESTINATION ${CMAKE_INSTALL_DATADIR}/quilbo)

  # gzip -9n: best compression and no name or time stamp, so the package is reproducible.
  find_program(QUILBO_GZIP gzip REQUIRED)
  set(QUILBO_COMPRESSED)
  set(QUILBO_PACKAGING_OUT ${CMAKE_CURRENT_BINARY_DIR}/packaging)
  add_custom_command(OUTPUT ${QUILBO_PACKAGING_OUT}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QUILBO_PACKAGING_OUT}
    COMMAND ${QUILBO_GZIP} -9n -c ${CMAKE_CURRENT_LIST_DIR}/changelog > ${QUILBO_PACKAGING_OUT}/changelog.gz
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog
    VERBATIM)
  list(APPEND QUILBO_COMPRESSED ${QUILBO_PACKAGING_OUT}/changelog.gz)
  install(FILES ${QUILBO_PACKAGING_OUT}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

  foreach(page IN LISTS QUILBO_MAN_PAGES)
    get_filename_component(ext ${page} LAST_EXT)
    string(SUBSTRING ${ext} 1 -1 section)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/man/${page} ${QUILBO_PACKAGING_OUT}/man/${page} @ONLY)
    add_custom_command(OUTPUT ${QUILBO_PACKAGING_OUT}/man/${page}.gz
      COMMAND ${QUILBO_GZIP} -9n -c ${QUILBO_PACKAGING_OUT}/man/${page} > ${QUILBO_PACKAGING_OUT}/man/${page}.gz
      DEPENDS ${QUILBO_PACKAGING_OUT}/man/${page}
      VERBATIM)
    list(APPEND QUILBO_COMPRESSED ${QUILBO_PACKAGING_OUT}/man/${page}.gz)
    install(FILES ${QUILBO_PACKAGING_OUT}/man/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
  endforeach()
  add_custom_target(quilbo_packaging_files ALL DEPENDS ${QUILBO_COMPRESSED})
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
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
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
  # them: they are named here. The linked libraries come from dpkg-shlibdeps where it exists.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6 (>= 6.4), qt6-qpa-plugins (>= 6.4)")
  find_program(QUILBO_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(QUILBO_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  else()
    string(PREPEND CPACK_DEBIAN_PACKAGE_DEPENDS
      "libqt6widgets6 (>= 6.4), libqt6network6 (>= 6.4), libqt6serialport6 (>= 6.4), "
      "libsimpleini1, ")
  endif()
endif()

include(CPack)
