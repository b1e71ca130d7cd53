# Cross build for Windows with Debian's MinGW-w64 (posix threads, so
# std::thread works). UPDATER_WINDOWS_ARCH is i686 (the default: the shipped
# updater.exe is 32-bit, as the product is) or x86_64 (the tests, where the
# 32-bit Wine cannot be installed). The libraries built for Windows by
# scripts/build-windows are found in UPDATER_WINDOWS_PREFIX, searched like a
# second sysroot.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT DEFINED UPDATER_WINDOWS_ARCH)
  set(UPDATER_WINDOWS_ARCH i686)
endif()
set(CMAKE_SYSTEM_PROCESSOR ${UPDATER_WINDOWS_ARCH})
# CMake's compiler checks read this file again in projects of their own.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES UPDATER_WINDOWS_ARCH UPDATER_WINDOWS_PREFIX)

set(_mingw ${UPDATER_WINDOWS_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw} ${UPDATER_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test executables run under Wine; UPDATER_WINE names the launcher: Debian's
# wine32 loader, which runs 32-bit programs in a 64-bit prefix through WoW64
# as 64-bit Windows runs the product, or wine64 for a 64-bit build.
if(NOT DEFINED UPDATER_WINE)
  if(UPDATER_WINDOWS_ARCH STREQUAL "x86_64")
    set(UPDATER_WINE /usr/lib/wine/wine64)
  else()
    set(UPDATER_WINE /usr/lib/wine/wine)
  endif()
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${UPDATER_WINE})

# One self-contained executable each: the C++ runtime and winpthreads are
# linked in, so nothing but Windows' own DLLs is needed beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
