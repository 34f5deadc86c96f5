# What the two mingw-w64 toolchain files share. They set KELVRIN_MINGW_TRIPLET
# and KELVRIN_WINE_NAMES (the wine loaders that run their programs, in order of
# preference) before including it.
set(CMAKE_SYSTEM_NAME Windows)

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

# Debian installs the wine loaders outside PATH.
find_program(KELVRIN_WINE NAMES ${KELVRIN_WINE_NAMES} HINTS /usr/lib/wine /usr/lib64/wine)
if(KELVRIN_WINE)
  # The test programs' stdout reaches ctest with Windows line ends; the wrapper
  # drops them so that test discovery reads clean names.
  set(CMAKE_CROSSCOMPILING_EMULATOR bash ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${KELVRIN_WINE})
endif()
