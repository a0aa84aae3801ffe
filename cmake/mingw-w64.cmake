# Cross-compiles a native 64-bit Windows build with Debian's mingw-w64 (posix thread model).
# Use: cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PARVEX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PARVEX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PARVEX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${PARVEX_MINGW_PREFIX}-windres)

# Look for libraries and headers only in the cross tree, programs only on the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${PARVEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The libraries scripts/build-windows-deps.sh builds from Debian's source packages: their prefix
# is searched like the cross tree, and pkg-config sees only their .pc files, never the build
# machine's.
if(PARVEX_WINDOWS_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${PARVEX_WINDOWS_DEPS})
  set(ENV{PKG_CONFIG_LIBDIR} ${PARVEX_WINDOWS_DEPS}/lib/pkgconfig)
  set(ENV{PKG_CONFIG_PATH} "")
endif()

# Test programs (and GoogleTest's test discovery) run under wine in the prefix the caller names.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
