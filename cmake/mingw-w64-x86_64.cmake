# Cross build of KELVRIN.dll for 64-bit Windows with Debian's mingw-w64, the
# test programs run under wine64.
#
#   cmake --workflow --preset windows      (through scripts/with-wine.sh)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KELVRIN_MINGW_TRIPLET x86_64-w64-mingw32)
set(KELVRIN_WINE_NAMES wine64 wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
