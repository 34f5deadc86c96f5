# Cross build of KELVRIN.dll for 64-bit Windows with Debian's mingw-w64, the
# test programs run under wine64.
#
#   cmake --workflow --preset windows      (through scripts/with-wine.sh)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KELVRIN_MINGW_TRIPLET x86_64-w64-mingw32)

# The posix thread model gives the test programs std::thread; the DLL links its
# runtime (winpthread included) statically, so the choice adds no import.
find_program(KELVRIN_MINGW_CXX NAMES ${KELVRIN_MINGW_TRIPLET}-g++-posix ${KELVRIN_MINGW_TRIPLET}-g++
             REQUIRED)
find_program(KELVRIN_MINGW_CC NAMES ${KELVRIN_MINGW_TRIPLET}-gcc-posix ${KELVRIN_MINGW_TRIPLET}-gcc
             REQUIRED)
set(CMAKE_CXX_COMPILER ${KELVRIN_MINGW_CXX})
set(CMAKE_C_COMPILER ${KELVRIN_MINGW_CC})
set(CMAKE_RC_COMPILER ${KELVRIN_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KELVRIN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program built here, the tests included, carries its runtime inside:
# wine then needs no mingw DLLs on its path.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")

# Debian's wine64 installs its loader outside PATH.
find_program(KELVRIN_WINE64 NAMES wine64 wine HINTS /usr/lib/wine /usr/lib64/wine)
if(KELVRIN_WINE64)
  # The test programs' stdout reaches ctest with Windows line ends; the wrapper
  # drops them so that test discovery reads clean names.
  set(CMAKE_CROSSCOMPILING_EMULATOR bash ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${KELVRIN_WINE64})
endif()
