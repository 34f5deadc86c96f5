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
string(REPLACE ";" "\\;" dump "${dump}")
string(REPLACE "\n" ";" dump_lines "${dump}")

set(exported "")
set(imported "")
set(address_count -1)
set(in_names FALSE)
foreach(line IN LISTS dump_lines)
  if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
    set(in_names TRUE)
  elseif(in_names AND line MATCHES "^\t\\[ *[0-9]+\\] (.+)$")
    list(APPEND exported "${CMAKE_MATCH_1}")
  elseif(in_names)
    set(in_names FALSE)
  endif()
  # Every exported address, named or by ordinal only: the first such line
  # counts them, a later one gives the table's address.
  if(address_count EQUAL -1 AND line MATCHES "^\tExport Address Table[ \t]+([0-9a-fA-F]+)$")
    math(EXPR address_count "0x${CMAKE_MATCH_1}")
  endif()
  if(line MATCHES "^\tDLL Name: (.+)$")
    list(APPEND imported "${CMAKE_MATCH_1}")
  endif()
endforeach()

# Decorated names (_Name@N, C++ names) are unexpected: the list has plain ones.
set(unexpected ${exported})
list(REMOVE_ITEM unexpected "" ${expected})
set(missing ${expected})
list(REMOVE_ITEM missing "" ${exported})
# The kernel and the C runtime (msvcrt, or the universal CRT and its forwarders).
string(TOLOWER "${imported}" foreign)
list(FILTER foreign EXCLUDE REGEX "^(kernel32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\\.dll$")
list(LENGTH unexpected unexpected_count)
list(LENGTH missing missing_count)
list(LENGTH foreign foreign_count)
list(LENGTH exported named_count)

message(STATUS "${DLL}\n  exports (${named_count}): ${exported}\n  imports: ${imported}")
set(problems "")
if(NOT dump MATCHES "file format ${FORMAT}\n")
  string(APPEND problems "  not of file format ${FORMAT}\n")
endif()
if(NOT address_count EQUAL named_count)
  string(APPEND problems "  ${address_count} exported addresses for ${named_count} names\n")
endif()
if(problems OR unexpected OR missing OR foreign)
  message(FATAL_ERROR "${problems}  unexpected exports: ${unexpected}\n  missing: ${missing}\n"
                      "  non-system imports: ${foreign}\n"
                      "tables rejected: ${unexpected_count} unexpected exports, "
                      "${missing_count} missing, ${foreign_count} non-system imports")
endif()
