# kelvrin_add_gtests(TARGET [NO_PRETTY_VALUES] [PROPERTIES name value ...])
#
# Registers a GoogleTest program with ctest. Natively and for x64 every test
# is a ctest entry of its own, found by asking the program at test time. The
# x86 programs of a cross build depend on how this machine runs 32-bit code
# (scripts/x86-support.sh, asked once when the project is configured):
#   native     as above;
#   emulated   each start costs about a minute, so the program is one entry
#              and is started once, with no discovery run;
#   none       the program is built but not run: one skipped entry says why.
if(CMAKE_CROSSCOMPILING AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  execute_process(COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/x86-support.sh
                  OUTPUT_VARIABLE KELVRIN_X86_SUPPORT OUTPUT_STRIP_TRAILING_WHITESPACE)
  message(STATUS "32-bit x86 programs on this machine: ${KELVRIN_X86_SUPPORT}")
else()
  set(KELVRIN_X86_SUPPORT native)
endif()
string(REGEX MATCH "^[a-z]+" KELVRIN_X86_RUN "${KELVRIN_X86_SUPPORT}")

function(kelvrin_add_gtests target)
  cmake_parse_arguments(arg "NO_PRETTY_VALUES" "" "PROPERTIES" ${ARGN})
  if(KELVRIN_X86_RUN STREQUAL "native")
    set(pretty "")
    if(arg_NO_PRETTY_VALUES)
      set(pretty NO_PRETTY_VALUES)
    endif()
    if(arg_PROPERTIES)
      list(PREPEND arg_PROPERTIES PROPERTIES)
    endif()
    # Under wine a program's first start, which lists its tests, can take far
    # longer than the 5 s CMake allows by default while the other core is busy.
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 ${pretty}
                         ${arg_PROPERTIES})
    return()
  endif()
  if(KELVRIN_X86_RUN STREQUAL "emulated")
    add_test(NAME ${target} COMMAND ${target})
  else()
    add_test(NAME ${target} COMMAND ${CMAKE_COMMAND} -E echo
             "${target}: skipped, not run: 32-bit programs can't run here (${KELVRIN_X86_SUPPORT})")
    set_tests_properties(${target} PROPERTIES SKIP_REGULAR_EXPRESSION "skipped, not run")
  endif()
  # One start runs every test of the program: give it the time of all of them.
  if(arg_PROPERTIES)
    set_tests_properties(${target} PROPERTIES ${arg_PROPERTIES})
  endif()
  set_tests_properties(${target} PROPERTIES TIMEOUT 1500)
endfunction()

# kelvrin_add_program_test(NAME name COMMAND target args...): a test that runs
# one of the project's x86 programs directly, skipped like the above where
# 32-bit programs can't run.
function(kelvrin_add_program_test)
  cmake_parse_arguments(arg "" "NAME" "COMMAND" ${ARGN})
  if(KELVRIN_X86_RUN STREQUAL "none")
    add_test(NAME ${arg_NAME} COMMAND ${CMAKE_COMMAND} -E echo
             "${arg_NAME}: skipped, not run: 32-bit programs can't run here (${KELVRIN_X86_SUPPORT})")
    set_tests_properties(${arg_NAME} PROPERTIES SKIP_REGULAR_EXPRESSION "skipped, not run")
  else()
    add_test(NAME ${arg_NAME} COMMAND ${arg_COMMAND})
    if(KELVRIN_X86_RUN STREQUAL "emulated")
      set_tests_properties(${arg_NAME} PROPERTIES TIMEOUT 600)
    endif()
  endif()
endfunction()
