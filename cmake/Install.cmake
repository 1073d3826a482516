# Install rules and the Debian package.
#
#   bin/arkelin, bin/arkzip            the programs, with RUNPATH $ORIGIN/../lib/arkelin
#   lib/arkelin/                       engine libraries, self-extractor stub and its data
#   share/applications/                desktop entry
#   share/metainfo/                    AppStream metainfo
#   share/mime/packages/               the self-extracting program type
#   share/icons/hicolor/*/apps/        application icon (SVG and PNG sizes)
#   share/man/man1/arkzip.1            manual page
#
# The programs find their run-time files beside the executable first and then
# in ../lib/arkelin (platform::ProgramFileFolders), so the build tree and the
# installed tree both run. `cpack -G DEB` in the build folder builds the .deb.
include(GNUInstallDirs)

set(ARKELIN_APP_ID org.tolvaren.Arkelin)
# Debian's multiarch library folder would put the files at lib/x86_64-linux-gnu;
# the programs look in lib/arkelin, so the folder is fixed.
set(ARKELIN_PKGLIBDIR lib/arkelin)

foreach(_prog arkelin arkzip)
  if(TARGET ${_prog})
    # The same RUNPATH in the build tree (where ../lib/arkelin does not exist
    # and the libraries sit beside the program) and installed.
    set_target_properties(${_prog} PROPERTIES INSTALL_RPATH "$ORIGIN/../${ARKELIN_PKGLIBDIR}"
                          BUILD_WITH_INSTALL_RPATH ON)
    install(TARGETS ${_prog} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

foreach(_lib zipdll unzdll arkunrar)
  if(TARGET ${_lib})
    install(TARGETS ${_lib} LIBRARY DESTINATION ${ARKELIN_PKGLIBDIR})
  endif()
endforeach()

# The self-extractor stub and the refresh's information file are built into
# the program folder when their targets exist; installed when they are there.
install(FILES ${CMAKE_BINARY_DIR}/bin/ru2001.bin
        DESTINATION ${ARKELIN_PKGLIBDIR} OPTIONAL
        PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(FILES ${CMAKE_BINARY_DIR}/bin/arkelin.dat DESTINATION ${ARKELIN_PKGLIBDIR} OPTIONAL)

set(_pk ${CMAKE_SOURCE_DIR}/packaging)
install(FILES ${_pk}/${ARKELIN_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_pk}/${ARKELIN_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${_pk}/arkelin-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME arkelin.xml)
install(FILES ${_pk}/icons/arkelin.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(_size 16 22 24 32 48 64 128 256 512)
  install(FILES ${_pk}/icons/arkelin-${_size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps RENAME arkelin.png)
endforeach()
install(FILES ${_pk}/arkzip.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# ---- Debian package ------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME arkelin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tolvaren <arkelin@tolvaren.example>")
set(CPACK_PACKAGE_VENDOR Tolvaren)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Archive manager for ZIP and RAR archives")
set(CPACK_PACKAGE_DESCRIPTION
  "Arkelin shows one archive at a time as a sortable list and offers commands to create, add, extract, delete, test, view, split, join and mail ZIP archives, self-extracting programs and RAR archives (read only). arkzip is its command-line companion over the same engines.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.tolvaren.example/arkelin2001/")
# The libraries the programs and the engine libraries link, found by
# dpkg-shlibdeps; the rest is what the program needs at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "shared-mime-info, hicolor-icon-theme")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, adwaita-icon-theme, qt6-wayland")
# The package's own libraries are private (lib/arkelin, no sonames to share).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
include(CPack)
