# Cross build of KELVRIN.dll for 32-bit Windows with Debian's mingw-w64, the
# test programs run under wine's 32-bit loader.
#
#   cmake --workflow --preset windows32      (through scripts/with-wine.sh)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(KELVRIN_MINGW_TRIPLET i686-w64-mingw32)

# The posix thread model gives the test programs std::thread; the DLL links its
# runtime (winpthread included) statically, so the choice adds no import.
find_program(KELVRIN_MINGW_CXX NAMES ${KELVRIN_MINGW_TRIPLET}-g++-posix REQUIRED)
find_program(KELVRIN_MINGW_CC NAMES ${KELVRIN_MINGW_TRIPLET}-gcc-posix REQUIRED)
set(CMAKE_CXX_COMPILER ${KELVRIN_MINGW_CXX})
set(CMAKE_C_COMPILER ${KELVRIN_MINGW_CC})
set(CMAKE_RC_COMPILER ${KELVRIN_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KELVRIN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Float arithmetic in SSE registers, rounded to single precision at every step
# as on x64: the x87 unit's wider registers would move the supervision's
# comparisons against its limits.
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

# Every program built here, the tests included, carries its runtime inside.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
# The entry points are __stdcall, _Name@N in the objects; the DLL exports the
# plain names of the .def list and no decorated ones.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-Wl,--kill-at -Wl,--enable-stdcall-fixup")

# Debian's 32-bit loader, /usr/lib/wine/wine, outside PATH; wine64 would hand
# a 32-bit program on to it.
find_program(KELVRIN_WINE32 NAMES wine HINTS /usr/lib/wine)
if(KELVRIN_WINE32)
  set(CMAKE_CROSSCOMPILING_EMULATOR bash ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${KELVRIN_WINE32})
endif()
