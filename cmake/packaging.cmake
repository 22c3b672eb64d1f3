# What `cmake --install` puts where, and the release packages cpack makes from a build folder:
#   Windows (mingw or mingw-package preset): fenwrack-<version>-win64.zip, both programs, their
#     offline programs (fenwrack_offline.exe, fenwrack_dated_offline.exe: the same with
#     --offline always on, for a double-click or a drop) and packaging/README.txt at the top of
#     one folder, as users expect from an unpacked zip;
#   Linux (package preset): fenwrack_<version>_<arch>.deb and
#     fenwrack-<version>-linux-<arch>.tar.gz, both laid out as a prefix: bin/, the man pages
#     in share/man/man1/ and packaging/linux/README, copyright and changelog (compressed) in
#     share/doc/fenwrack/. Not the offline programs: they exist for Explorer, where no option can
#     be given; on Linux --offline is given.
# The package preset builds no tests (FENWRACK_TESTS=OFF), so a package needs no GoogleTest.

set(CPACK_PACKAGE_NAME fenwrack)
set(CPACK_PACKAGE_VENDOR fenwrack)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Takes apart MHT web archives")
set(CPACK_STRIP_FILES ON)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)

if(WIN32)
  install(TARGETS fenwrack fenwrack_dated fenwrack_offline fenwrack_dated_offline
    RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/README.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  include(CPack)
  return()
endif()

include(GNUInstallDirs)
install(TARGETS fenwrack fenwrack_dated RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/linux/README
  ${PROJECT_SOURCE_DIR}/packaging/linux/copyright
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The man pages, one source for both programs: what differs is the page naming.
find_program(FENWRACK_GZIP gzip)
set(man_pages)
foreach(program fenwrack fenwrack_dated)
  set(PROGRAM ${program})
  string(TOUPPER ${program} PROGRAM_UPPER)
  set(VERSION ${PROJECT_VERSION})
  if(program STREQUAL "fenwrack")
    set(OTHER_PROGRAM fenwrack_dated)
    set(NAMING_SHORT "thread pages named after their post number")
    set(NAMING_LONG "it becomes\n.IR <post-number>.htm ,\nfor example\n.IR 12345678.htm .")
    set(NAMING_JA "\nスレッドのページはレス番号の名前（例: 12345678.htm）になります。")
  else()
    set(OTHER_PROGRAM fenwrack)
    set(NAMING_SHORT "thread pages named after their date, time and post number")
    set(NAMING_LONG "it becomes\n.IR <yymmdd>-<hhmmss>-<post-number>.htm ,\nfor example\n.IR 071011-123456-12345678.htm .")
    set(NAMING_JA "\nスレッドのページは「日付-時刻-レス番号」の名前\n（例: 071011-123456-12345678.htm）になります。")
  endif()
  set(page ${PROJECT_BINARY_DIR}/man/${program}.1)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/linux/fenwrack.1.in ${page} @ONLY)
  if(FENWRACK_GZIP)
    # compressed as Debian's policy asks, without a name or time stamp inside (-n)
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${FENWRACK_GZIP} -9nkf ${page}
      DEPENDS ${page} VERBATIM)
    list(APPEND man_pages ${page}.gz)
  else()
    list(APPEND man_pages ${page})
  endif()
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The changelog, compressed as Debian's policy asks of a package's changelog.gz.
if(FENWRACK_GZIP)
  set(changelog ${PROJECT_BINARY_DIR}/doc/changelog)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/linux/changelog ${changelog} COPYONLY)
  add_custom_command(OUTPUT ${changelog}.gz
    COMMAND ${FENWRACK_GZIP} -9nkf ${changelog}
    DEPENDS ${changelog} VERBATIM)
  add_custom_target(changelog ALL DEPENDS ${changelog}.gz)
  install(FILES ${changelog}.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
else()
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/linux/changelog DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_GENERATOR TGZ DEB)
set(CPACK_SYSTEM_NAME linux-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_CONTACT "fenwrack maintainers <maintainers@users.noreply.c-seed-95c338cc.example>"
  CACHE STRING "The Debian package's maintainer")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Lines of at most 80 columns, as Debian's tools ask of a description.
set(CPACK_PACKAGE_DESCRIPTION "fenwrack and fenwrack_dated split every *.mht file of the current
folder (single-file web pages as Internet Explorer 6 saves them) into one file
per MIME part, decoding base64, quoted-printable and ISO-2022-JP, and log the
run in log.csv. Everything they write is Shift_JIS:
/usr/share/doc/fenwrack/README says how to read it.")
# The library packages the programs need, found by dpkg-shlibdeps when it is there.
find_program(FENWRACK_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(FENWRACK_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
endif()
# The .deb installs under /usr, the tarball's top folder holds the same layout (each
# generator's own default prefix).
include(CPack)
