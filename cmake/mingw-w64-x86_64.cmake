# Cross-compiling for 64-bit Windows with Debian's mingw-w64. The posix thread model is the one whose
# libstdc++ has std::thread, which minihost's worker pool needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PALETTRIX_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PALETTRIX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PALETTRIX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PALETTRIX_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PALETTRIX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests and build steps that run a Windows program go through Wine. Debian's wine64 package installs the
# loader outside PATH unless the "wine" wrapper package is there too.
find_program(PALETTRIX_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(PALETTRIX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PALETTRIX_WINE})
endif()
