# Cross build for 32-bit Windows (i686, as the product is) with Debian's
# MinGW-w64 (posix threads, so std::thread works). The libraries built for Windows by scripts/build-windows
# are found in UPDATER_WINDOWS_PREFIX, searched like a second sysroot.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(_mingw i686-w64-mingw32)
set(CMAKE_C_COMPILER ${_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw} ${UPDATER_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test executables run under Wine; UPDATER_WINE names the launcher, Debian's
# wine32 loader, which runs them in a 64-bit prefix through WoW64 as 64-bit
# Windows runs the product.
if(NOT DEFINED UPDATER_WINE)
  set(UPDATER_WINE /usr/lib/wine/wine)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${UPDATER_WINE})

# One self-contained executable each: the C++ runtime and winpthreads are
# linked in, so nothing but Windows' own DLLs is needed beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests are listed when ctest runs, under Wine, not when they are built.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
