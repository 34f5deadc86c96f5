# Reads a DLL's export and import tables with objdump and fails unless it
# exports exactly the names of the .def list, undecorated and all by name, and
# imports only Windows system DLLs: the kernel and the C runtime.
#
#   cmake -DOBJDUMP=<objdump> -DDLL=<library> -DDEF=<exports.def> -P check_dll_tables.cmake
cmake_minimum_required(VERSION 3.25)
foreach(var OBJDUMP DLL DEF)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check_dll_tables: -D${var}=... is required")
  endif()
endforeach()

# What the build promises: the names after EXPORTS in the .def list.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/ExportList.cmake)
kelvrin_read_exports(${DEF} expected)

execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "check_dll_tables: ${OBJDUMP} -p ${DLL} failed (${result})")
endif()
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

set(problems "")
set(unexpected_count 0)
foreach(name IN LISTS exported)
  if(NOT name IN_LIST expected)
    math(EXPR unexpected_count "${unexpected_count} + 1")
    if(name MATCHES "[@?]|^_")
      list(APPEND problems "decorated export: ${name}")
    else()
      list(APPEND problems "export not in the .def list: ${name}")
    endif()
  endif()
endforeach()
set(missing_count 0)
foreach(name IN LISTS expected)
  if(NOT name IN_LIST exported)
    math(EXPR missing_count "${missing_count} + 1")
    list(APPEND problems "missing export: ${name}")
  endif()
endforeach()
list(LENGTH exported named_count)
if(NOT address_count EQUAL named_count)
  list(APPEND problems "${address_count} exported addresses for ${named_count} names")
endif()

# The kernel and the C runtime (msvcrt, or the universal CRT and its forwarders).
set(foreign_count 0)
foreach(dll IN LISTS imported)
  string(TOLOWER "${dll}" lower)
  if(NOT lower MATCHES "^(kernel32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\\.dll$")
    math(EXPR foreign_count "${foreign_count} + 1")
    list(APPEND problems "import of a non-system DLL: ${dll}")
  endif()
endforeach()

list(JOIN exported " " export_text)
list(JOIN imported " " import_text)
message(STATUS "${DLL}\n  exports (${named_count}): ${export_text}\n  imports: ${import_text}")
if(problems)
  list(JOIN problems "\n  " problem_text)
  message(FATAL_ERROR "  ${problem_text}\n"
                      "tables rejected: ${unexpected_count} unexpected exports, "
                      "${missing_count} missing, ${foreign_count} non-system imports")
endif()
