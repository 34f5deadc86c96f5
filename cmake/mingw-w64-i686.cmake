# Cross build of KELVRIN.dll for 32-bit Windows with Debian's mingw-w64, the
# test programs run under wine's 32-bit loader.
#
#   cmake --workflow --preset windows32      (through scripts/with-wine.sh)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KELVRIN_MINGW_TRIPLET i686-w64-mingw32)
# Debian's 32-bit loader is /usr/lib/wine/wine; wine64 would hand a 32-bit
# program on to it.
set(KELVRIN_WINE_NAMES wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# Float arithmetic in SSE registers, rounded to single precision at every step
# as on x64: the x87 unit's wider registers would move the supervision's
# comparisons against its limits.
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

# The entry points are __stdcall, _Name@N in the objects; a DLL linked with
# its .def list exports the plain names and no decorated ones. Only such
# targets take these options: the table check's bad fixture keeps its
# decorated name to prove the check rejects it.
set(KELVRIN_STDCALL_EXPORT_OPTIONS -Wl,--kill-at -Wl,--enable-stdcall-fixup)
