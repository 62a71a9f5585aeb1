# Installation and the Debian package (cpack -G DEB, see scripts/package.sh).
# Included at the end of the top-level CMakeLists.txt, after every program
# target is defined, so that `if(TARGET ...)` sees them all.

install(TARGETS quorrel-keyloom RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The command-line program, once the project has one.
if(TARGET keyloom)
  install(TARGETS keyloom RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# Desktop integration follows the freedesktop.org layout, which only means
# something on Linux and the other free desktops.
if(UNIX AND NOT APPLE)
  set(KEYLOOM_APP_ID org.quorrel.Keyloom)
  set(KEYLOOM_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/quorrel-keyloom)

  install(FILES resources/quorrel-keyloom.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES resources/${KEYLOOM_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES resources/quorrel-keyloom-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
    RENAME quorrel-keyloom.xml)
  install(FILES resources/icons/quorrel-keyloom.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size 16 32 48 64 128 256)
    install(FILES resources/icons/quorrel-keyloom-${size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME quorrel-keyloom.png)
  endforeach()

  # Manual pages and the changelog are installed compressed, without a time
  # stamp in the gzip header so that the package builds reproducibly.
  set(compressed)
  function(keyloom_gzip source output)
    add_custom_command(OUTPUT ${output}
      COMMAND gzip -9 -n -c ${source} > ${output}
      DEPENDS ${source} VERBATIM)
  endfunction()
  set(gz ${CMAKE_CURRENT_BINARY_DIR}/packaging)
  file(MAKE_DIRECTORY ${gz})
  keyloom_gzip(${CMAKE_CURRENT_SOURCE_DIR}/doc/quorrel-keyloom.1 ${gz}/quorrel-keyloom.1.gz)
  install(FILES ${gz}/quorrel-keyloom.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/de/man1)
  # The English page is what man shows in every other locale.
  file(MAKE_DIRECTORY ${gz}/en)
  keyloom_gzip(${CMAKE_CURRENT_SOURCE_DIR}/doc/quorrel-keyloom.en.1 ${gz}/en/quorrel-keyloom.1.gz)
  install(FILES ${gz}/en/quorrel-keyloom.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  list(APPEND compressed ${gz}/quorrel-keyloom.1.gz ${gz}/en/quorrel-keyloom.1.gz)
  if(TARGET keyloom)
    keyloom_gzip(${CMAKE_CURRENT_SOURCE_DIR}/doc/keyloom.1 ${gz}/keyloom.1.gz)
    install(FILES ${gz}/keyloom.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/de/man1)
    keyloom_gzip(${CMAKE_CURRENT_SOURCE_DIR}/doc/keyloom.en.1 ${gz}/en/keyloom.1.gz)
    install(FILES ${gz}/en/keyloom.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    list(APPEND compressed ${gz}/keyloom.1.gz ${gz}/en/keyloom.1.gz)
  endif()
  keyloom_gzip(${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog ${gz}/changelog.gz)
  install(FILES ${gz}/changelog.gz packaging/copyright DESTINATION ${KEYLOOM_DOC_DIR})
  list(APPEND compressed ${gz}/changelog.gz)
  add_custom_target(packaging-files ALL DEPENDS ${compressed})
endif()

set(CPACK_PACKAGE_NAME quorrel-keyloom)
set(CPACK_PACKAGE_VENDOR "Quorrel Keyloom developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor for Windows INI, registry export and INF files")
set(CPACK_PACKAGE_DESCRIPTION_FILE ${CMAKE_CURRENT_SOURCE_DIR}/packaging/description.txt)
set(CPACK_PACKAGE_CONTACT "Quorrel Keyloom maintainers <maintainers@quorrel.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Directories in the package get the usual modes whatever the umask of the
# build is.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION editors)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its window-system plugins at run time, so the library
# dependencies do not bring them in; without them the program cannot start.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
# Qt's own German texts (standard buttons of message boxes).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
