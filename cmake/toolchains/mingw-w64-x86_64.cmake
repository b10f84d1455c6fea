# Cross-compiles the product for 64-bit Windows with Debian's mingw-w64 (POSIX thread model),
# against the real SDK headers and import libraries that come with it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(HALVEX_MINGW_TARGET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${HALVEX_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HALVEX_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${HALVEX_MINGW_TARGET}-windres)

# Headers, libraries and packages come from the target's tree only; programs from the build host.
set(CMAKE_FIND_ROOT_PATH /usr/${HALVEX_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C++ runtime, libgcc and the thread library go into every binary: a dynamically linked one
# needs libwinpthread-1.dll beside it, and without it the loader refuses to start the program
# (c0000135). With -static the linker takes only static archives for -l names, so our own DLLs'
# import libraries are linked by path, which CMake does for targets anyway.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -static)

# Test programs run under Wine, in a prefix of the build tree's own (see wine-run).
find_program(HALVEX_WINE_PROGRAM wine)
if(HALVEX_WINE_PROGRAM)
  set(HALVEX_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run ${HALVEX_WINE_PREFIX})
  # Listing the tests would start Wine during the build; list them when ctest runs instead.
  set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
endif()

# pkg-config must describe the target's libraries, never the build host's.
set(ENV{PKG_CONFIG_LIBDIR} ${CMAKE_FIND_ROOT_PATH}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
