# The names listed after EXPORTS in a module-definition (.def) file, in order.
# Used by the build (the native version script) and by the check of the DLL's
# export table, so both read the one list the same way.
function(kelvrin_read_exports def_file out_var)
  file(STRINGS ${def_file} def_lines)
  set(names "")
  set(in_exports FALSE)
  foreach(line IN LISTS def_lines)
    string(STRIP "${line}" line)
    if(line STREQUAL "EXPORTS")
      set(in_exports TRUE)
    elseif(in_exports AND NOT line STREQUAL "" AND NOT line MATCHES "^;")
      list(APPEND names ${line})
    endif()
  endforeach()
  set(${out_var} ${names} PARENT_SCOPE)
endfunction()
