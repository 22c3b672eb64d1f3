# Release packages made by cpack from a build folder:
#   Windows (mingw preset): fenwrack-<version>-win64.zip
#   Linux:                  fenwrack-<version>-linux-x86_64.tar.gz
# Each holds both programs and packaging/README.txt at its top level.

install(FILES ${PROJECT_SOURCE_DIR}/packaging/README.txt DESTINATION .)

set(CPACK_PACKAGE_NAME fenwrack)
set(CPACK_PACKAGE_VENDOR fenwrack)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Takes apart MHT web archives")
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR TGZ)
  set(CPACK_SYSTEM_NAME linux-${CMAKE_SYSTEM_PROCESSOR})
endif()
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
# The files sit in one folder named like the package, as users expect from an unpacked zip.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
include(CPack)
