# Install rules and the Debian package (cpack -G DEB, or scripts/build-package).
#
# The package holds the three programs (every library of ours is static and
# linked into them), the shipped home files, the desktop entries with their
# icons, the manual pages and the notes. Its dependencies are computed from the
# programs by dpkg-shlibdeps; only the CJK fonts, which no program links, are
# named here.
include(GNUInstallDirs)

# `cpack` installs what has been built; it does not build the whole tree
# first (scripts/build-package builds the programs).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

foreach(program corvane tallowin switchsim)
  if(TARGET ${program})
    # Relocations resolved at start and then read-only, as Debian builds its programs.
    target_link_options(${program} PRIVATE -Wl,-z,relro -Wl,-z,now)
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# The pictures and the help page a new home gets (the programs carry their
# own copies and write them into the home; these are for the desktop and the
# administrator), and the simulator's scenarios.
set(CORVANE_SHARE ${CMAKE_INSTALL_DATADIR}/corvane)
install(DIRECTORY resource/ DESTINATION ${CORVANE_SHARE}/resource FILES_MATCHING PATTERN "*.gif")
install(DIRECTORY help/ DESTINATION ${CORVANE_SHARE}/help)
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/switchsim/scenarios)
  install(DIRECTORY switchsim/scenarios/ DESTINATION ${CORVANE_SHARE}/scenarios FILES_MATCHING PATTERN "*.txt")
endif()

install(FILES packaging/corvane.desktop packaging/tallowin.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The nightly backup and the monthly traffic report of a home: systemd user
# units, enabled by the operator for a home (README.Debian), never by the
# package.
install(FILES packaging/tallowin-backup@.service packaging/tallowin-backup@.timer
              packaging/tallowin-backup-failed@.service packaging/corvane-report@.service packaging/corvane-report@.timer
        DESTINATION lib/systemd/user)
install(FILES packaging/corvane.svg packaging/tallowin.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Manual pages and the changelog compressed as Debian wants them: gzip -9
# without a name or time stamp, so the same sources give the same package.
set(CORVANE_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${CORVANE_PACKAGING_OUT})
set(CORVANE_MAN_PAGES)
foreach(source corvane.1 tallowin.1 switchsim.1 changelog)
  set(in ${CMAKE_CURRENT_SOURCE_DIR}/packaging/${source})
  set(out ${CORVANE_PACKAGING_OUT}/${source}.gz)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${in})
  execute_process(COMMAND gzip -9nc ${in} OUTPUT_FILE ${out} RESULT_VARIABLE gz)
  if(NOT gz EQUAL 0)
    message(FATAL_ERROR "gzip ${in} failed")
  endif()
  if(source MATCHES "\\.1$")
    list(APPEND CORVANE_MAN_PAGES ${out})
  endif()
endforeach()
install(FILES ${CORVANE_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
set(CORVANE_DOC ${CMAKE_INSTALL_DATADIR}/doc/corvane)
install(FILES packaging/copyright packaging/README.Debian ${CORVANE_PACKAGING_OUT}/changelog.gz
        DESTINATION ${CORVANE_DOC})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Corvane developers")
set(CPACK_PACKAGE_CONTACT "Corvane developers <corvane@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "operator console of a small telephone exchange")
# The synopsis above is the first line; this is the extended description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Corvane talks to the switch of a small telephone exchange (up to 120
extensions and 16 trunks) over a serial line: it takes every call record,
prices it, charges prepaid deposits, stores it, shows live trunks and
callers and programs the switch. Its windows are in Chinese.

The package holds the console (corvane), its backup tool (tallowin) and a
switch simulator (switchsim). Each user gets a home folder of their own
(~/.local/share/corvane, or --home DIR, or CORVANE_HOME).

The serial ports (/dev/ttyS*, /dev/ttyUSB*) belong to the group dialout:
the operator must be a member of it (sudo adduser OPERATOR dialout).")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-zenhei, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
