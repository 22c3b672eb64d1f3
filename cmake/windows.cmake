# Windows builds: the resources of each program (its icon and version information), and, in a
# cross build, GoogleTest compiled from its sources (the build machine has no GoogleTest for
# the target).

enable_language(RC)

# fenwrack_resources(TARGET DESCRIPTION): links resources/fenwrack.rc into TARGET, with the
# version information naming TARGET and DESCRIPTION. Compiled on its own, away from the C++
# warning flags that the programs' targets carry.
function(fenwrack_resources target description)
  set(FENWRACK_RC_PROGRAM ${target})
  set(FENWRACK_RC_DESCRIPTION ${description})
  set(info_dir ${PROJECT_BINARY_DIR}/generated/${target})
  configure_file(${PROJECT_SOURCE_DIR}/resources/program_info.h.in ${info_dir}/program_info.h
    @ONLY)
  add_library(${target}_resources OBJECT ${PROJECT_SOURCE_DIR}/resources/fenwrack.rc)
  target_include_directories(${target}_resources PRIVATE ${info_dir})
  # one source for every program: it is compiled again when any program's header changes
  set_property(SOURCE ${PROJECT_SOURCE_DIR}/resources/fenwrack.rc APPEND PROPERTY OBJECT_DEPENDS
    ${PROJECT_SOURCE_DIR}/resources/fenwrack.ico ${PROJECT_SOURCE_DIR}/resources/resource.h
    ${info_dir}/program_info.h)
  target_sources(${target} PRIVATE $<TARGET_OBJECTS:${target}_resources>)
endfunction()

if(FENWRACK_TESTS AND CMAKE_CROSSCOMPILING)
  set(FENWRACK_GTEST_SOURCE_DIR /usr/src/googletest
    CACHE PATH "GoogleTest sources compiled into the cross build")
  if(NOT EXISTS ${FENWRACK_GTEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest sources in ${FENWRACK_GTEST_SOURCE_DIR} "
      "(Debian: apt-get install googletest), or configure with -DFENWRACK_TESTS=OFF")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)  # keeps GoogleTest out of the packages
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${FENWRACK_GTEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  foreach(lib gtest gtest_main)
    # Its headers count as system headers, so our warning flags (and -Werror) skip them.
    get_target_property(dirs ${lib} INTERFACE_INCLUDE_DIRECTORIES)
    set_target_properties(${lib} PROPERTIES INTERFACE_SYSTEM_INCLUDE_DIRECTORIES "${dirs}")
    if(NOT TARGET GTest::${lib})
      add_library(GTest::${lib} ALIAS ${lib})
    endif()
  endforeach()
  set(GTest_DIR ${PROJECT_SOURCE_DIR}/cmake/gtest-from-source)

  # Built by the native build only: the end-to-end test program, which drives the programs
  # from Linux (the Windows ones under Wine), and the fuzz corpus replays, which CTest runs
  # there.
  function(fenwrack_skip_host_only_tests)
    set(host_only)
    if(TARGET e2e_tests)
      list(APPEND host_only e2e_tests)
    endif()
    if(EXISTS ${PROJECT_SOURCE_DIR}/fuzz/CMakeLists.txt)
      get_directory_property(fuzz_targets DIRECTORY ${PROJECT_SOURCE_DIR}/fuzz
        BUILDSYSTEM_TARGETS)
      list(APPEND host_only ${fuzz_targets})
    endif()
    if(host_only)
      set_target_properties(${host_only} PROPERTIES EXCLUDE_FROM_ALL TRUE)
    endif()
  endfunction()
  cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL fenwrack_skip_host_only_tests)
endif()
