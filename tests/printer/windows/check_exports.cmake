# Checks that a DLL exports exactly the names in EXPORTS (a ;-list), reading
# its export table with objdump -p.
#   cmake -DDLL=... -DOBJDUMP=... -DEXPORTS="a;b" -P check_exports.cmake
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed")
endif()
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([ \t]+\\[[ 0-9]+\\][^\n]*\n)*)" table "${dump}")
set(found)
if(table)
  # The ordinals go first: brackets in list items would confuse CMake's lists.
  string(REGEX REPLACE "\\[[ 0-9]+\\]" "" names "${CMAKE_MATCH_1}")
  string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_@?$]*" found "${names}")
endif()
list(SORT found)
set(expected ${EXPORTS})
list(SORT expected)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "${DLL} exports [${found}], expected exactly [${expected}]")
endif()
message(STATUS "${DLL} exports exactly [${found}]")
