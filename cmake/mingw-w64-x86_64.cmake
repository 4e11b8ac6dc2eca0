# Cross build for 64-bit Windows with Debian's mingw-w64; programs built for
# the build itself (the release check) and the tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
find_program(ZELT20_WINE NAMES wine64 wine REQUIRED)
find_program(ZELT20_ENV NAMES env REQUIRED)
# Wine runs in a prefix of the build's own (made on first use), never in the
# user's ~/.wine, and without its diagnostics in the programs' output.
set(ZELT20_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH
  "Wine prefix in which the build runs its programs and tests")
set(CMAKE_CROSSCOMPILING_EMULATOR
  ${ZELT20_ENV} WINEPREFIX=${ZELT20_WINEPREFIX} WINEDEBUG=-all ${ZELT20_WINE})
# Self-contained executables: Wine needs no MinGW runtime DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
