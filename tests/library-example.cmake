# Runs PROGRAM (under EMULATOR, when set) on SITES and compares the numbers
# it prints with the values of the Canoco file EXPECTED: the lines after
# its counts up to the variable labels hold them object by object, as the
# program prints them, each with six decimals.
execute_process(COMMAND ${EMULATOR} ${PROGRAM} INPUT_FILE ${SITES}
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} ended with ${status}: ${err}")
endif()
file(STRINGS ${EXPECTED} lines)
list(SUBLIST lines 3 -1 values)
set(want "")
foreach(line IN LISTS values)
  if(line MATCHES "[A-Za-z]")
    break()
  endif()
  string(REGEX MATCHALL "[-0-9.]+" numbers "${line}")
  list(APPEND want ${numbers})
endforeach()
string(REGEX MATCHALL "[-0-9.]+" got "${out}")
list(LENGTH want nwant)
if(nwant EQUAL 0)
  message(FATAL_ERROR "no values in ${EXPECTED}")
endif()
if(NOT got STREQUAL want)
  message(FATAL_ERROR "the values differ from ${EXPECTED}:\n${out}")
endif()
message(STATUS "${nwant} values as in ${EXPECTED}")
