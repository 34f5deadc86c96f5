# Reads a DLL's export and import tables with objdump and fails unless it is
# of the given file format (machine type), exports exactly the names of the
# .def list, undecorated and all by name, and imports only Windows system
# DLLs: the kernel and the C runtime.
#
#   cmake -DOBJDUMP=<objdump> -DDLL=<library> -DDEF=<exports.def> -DFORMAT=<pei-i386|pei-x86-64>
#         -P check_dll_tables.cmake
cmake_minimum_required(VERSION 3.25)

# What the build promises: the names after EXPORTS in the .def list.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/ExportList.cmake)
kelvrin_read_exports(${DEF} expected)

execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump COMMAND_ERROR_IS_FATAL ANY)
# The name table's lines, "\t[   n] Name"; decorated names (_Name@N, C++ names)
# are unexpected, as the list has plain ones.
string(REGEX MATCH "\n\\[Ordinal/Name Pointer\\] Table[^\n]*\n(\t\\[ *[0-9]+\\] [^\n]+\n)*" names "${dump}")
string(REGEX MATCHALL "\n\t\\[ *[0-9]+\\] [^\n]+" exported "${names}")
list(TRANSFORM exported REPLACE "^\n\t\\[ *[0-9]+\\] " "")
# Every exported address, named or by ordinal only: the first such line counts them.
string(REGEX MATCH "\n\tExport Address Table[ \t]+([0-9a-fA-F]+)\n" _ "${dump}")
math(EXPR address_count "0x0${CMAKE_MATCH_1}")
string(REGEX MATCHALL "\n\tDLL Name: [^\n]+" imported "${dump}")
list(TRANSFORM imported REPLACE "^\n\tDLL Name: " "")

set(unexpected ${exported})
list(REMOVE_ITEM unexpected "" ${expected})
set(missing ${expected})
list(REMOVE_ITEM missing "" ${exported})
# The kernel and the C runtime (msvcrt, or the universal CRT and its forwarders).
string(TOLOWER "${imported}" foreign)
list(FILTER foreign EXCLUDE REGEX "^(kernel32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\\.dll$")
list(LENGTH exported named_count)
if(NOT dump MATCHES "file format ${FORMAT}\n" OR NOT address_count EQUAL named_count
   OR unexpected OR missing OR foreign)
  list(LENGTH unexpected unexpected_count)
  list(LENGTH missing missing_count)
  list(LENGTH foreign foreign_count)
  message(FATAL_ERROR "${DLL}\n  file format: ${FORMAT} expected\n  exports: ${exported}\n"
                      "  exported addresses: ${address_count} for ${named_count} names\n"
                      "  unexpected exports: ${unexpected}\n  missing: ${missing}\n"
                      "  non-system imports: ${foreign}\n"
                      "tables rejected: ${unexpected_count} unexpected exports, "
                      "${missing_count} missing, ${foreign_count} non-system imports")
endif()
