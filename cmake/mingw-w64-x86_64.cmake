# Cross build for 64-bit Windows with Debian's MinGW-w64 (package g++-mingw-w64-x86-64).
# The programs it builds run on Windows, and here under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FENWRACK_MINGW_PREFIX x86_64-w64-mingw32)
# The posix thread model: GoogleTest needs std::mutex, which the win32 model of GCC 12 lacks.
# Its winpthread runtime is linked in statically like the rest.
set(CMAKE_C_COMPILER ${FENWRACK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FENWRACK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${FENWRACK_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FENWRACK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs built here (GoogleTest discovery, ctest) start through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)

# Only Windows' own DLLs at run time: the C++ and GCC runtimes are linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# GCC 12 reports impossible overlaps inside libstdc++'s string concatenation once inlined
# (GCC bug 105651) when optimising for this target; the warning says nothing about our code.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
