# Reads the code of the x86 DLL without running it, for the two faults that
# only show once a 32-bit host calls it:
# - each entry point must end in the `ret` that pops what Microsoft's x86
#   caller pushed: records by value, rounded to 4-byte slots, plus the result
#   address of Elapse. A callee that took its records by address pops less,
#   and the host's stack is off after every frame;
# - the objects of the ATC core and the plug-in must hold no x87 arithmetic or
#   comparison: its wider registers would move the supervision's comparisons
#   against the limits. Loads and stores are fine (the 32-bit convention
#   returns a float in the x87 register).
#
#   cmake -DOBJDUMP=<objdump> [-DDLL=<KELVRIN.dll>] [-DOBJECTS=<obj>|<obj>...]
#         -P cmake/CheckX86Code.cmake
cmake_minimum_required(VERSION 3.25)

# Bytes each entry point pops on x86: VehicleSpec 20, VehicleState 40 with
# the panel and sound addresses and the result address, BeaconData 16, an int32 4.
set(pops_Load 0)
set(pops_Dispose 0)
set(pops_GetPluginVersion 0)
set(pops_SetVehicleSpec 20)
set(pops_Initialize 4)
set(pops_Elapse 52)
set(pops_SetPower 4)
set(pops_SetBrake 4)
set(pops_SetReverser 4)
set(pops_KeyDown 4)
set(pops_KeyUp 4)
set(pops_HornBlow 4)
set(pops_DoorOpen 0)
set(pops_DoorClose 0)
set(pops_SetSignal 4)
set(pops_SetBeaconData 16)

set(faults "")
set(checked 0)

if(DLL)
  execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCH "\nImageBase[ \t]+([0-9a-fA-F]+)" _ "${dump}")
  set(image_base "0x${CMAKE_MATCH_1}")
  # "[   i] +base[ n] RVA Export RVA" lines, and "[   i] Name" lines of the
  # name table; i joins a name to its address.
  string(REGEX MATCHALL "\n\t\\[ *[0-9]+\\] \\+base\\[ *[0-9]+\\] [0-9a-fA-F]+ Export RVA" rvas
         "${dump}")
  foreach(line IN LISTS rvas)
    string(REGEX MATCH "\\[ *([0-9]+)\\] \\+base\\[ *[0-9]+\\] ([0-9a-fA-F]+)" _ "${line}")
    set(rva_${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
  endforeach()
  string(REGEX MATCH "\n\\[Ordinal/Name Pointer\\] Table[^\n]*\n(\t\\[ *[0-9]+\\] [^\n]+\n)*" names
         "${dump}")
  string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [^\n]+" names "${names}")
  foreach(line IN LISTS names)
    string(REGEX MATCH "\\[ *([0-9]+)\\] (.+)" _ "${line}")
    set(name ${CMAKE_MATCH_2})
    if(NOT DEFINED pops_${name} OR NOT DEFINED rva_${CMAKE_MATCH_1})
      continue()  # the table check judges names
    endif()
    math(EXPR start "${image_base} + 0x${rva_${CMAKE_MATCH_1}}" OUTPUT_FORMAT HEXADECIMAL)
    math(EXPR stop "${start} + 512" OUTPUT_FORMAT HEXADECIMAL)
    execute_process(COMMAND ${OBJDUMP} -d --start-address=${start} --stop-address=${stop} ${DLL}
                    OUTPUT_VARIABLE code COMMAND_ERROR_IS_FATAL ANY)
    # The entry points are thin: their first ret is their end.
    if(NOT code MATCHES "\t(ret|jmp) *(\\$0x([0-9a-f]+))?[^\n]*\n")
      list(APPEND faults "${name}: no ret found")
      continue()
    endif()
    set(popped 0)
    if(CMAKE_MATCH_3)
      math(EXPR popped "0x${CMAKE_MATCH_3}")
    endif()
    if(CMAKE_MATCH_1 STREQUAL "jmp" AND NOT pops_${name} EQUAL 0)
      list(APPEND faults "${name} leaves by a jump, with ${pops_${name}} bytes to pop")
    elseif(NOT popped EQUAL pops_${name})
      list(APPEND faults "${name} pops ${popped} bytes, the caller pushed ${pops_${name}}")
    endif()
    math(EXPR checked "${checked} + 1")
  endforeach()
  if(NOT checked EQUAL 16)
    list(APPEND faults "found ${checked} of the 16 entry points in the export table")
  endif()
endif()

string(REPLACE "|" ";" OBJECTS "${OBJECTS}")
foreach(object IN LISTS OBJECTS)
  execute_process(COMMAND ${OBJDUMP} -d ${object} OUTPUT_VARIABLE code COMMAND_ERROR_IS_FATAL ANY)
  # A disassembly line: "  offset:\tbytes\tmnemonic operands".
  string(REGEX MATCHALL "\n *[0-9a-f]+:\t[0-9a-f ]+\tf[a-z0-9]*" x87 "${code}")
  list(TRANSFORM x87 REPLACE ".*\t" "")
  list(FILTER x87 EXCLUDE REGEX "^f(ld|st|stp)[slt]?$")
  if(x87)
    list(REMOVE_DUPLICATES x87)
    get_filename_component(file ${object} NAME)
    list(APPEND faults "${file} uses x87 arithmetic: ${x87}")
  endif()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "x86 code rejected:\n  ${text}")
endif()
list(LENGTH OBJECTS object_count)
message("x86 code: ${checked} entry points pop what the caller pushed; "
        "${object_count} objects without x87 arithmetic")
