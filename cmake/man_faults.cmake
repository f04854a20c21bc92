# Writes kmbdiag-sim's man page from its source, with the FAULTS section filled from the
# simulator's own catalogue, so that the page never lists a fault the program does not have.
#
#   cmake -DSIM="<emulator;>kmbdiag-sim" -DIN=kmbdiag-sim.1.in -DOUT=kmbdiag-sim.1
#         -DVERSION=1.0.0 -P man_faults.cmake
execute_process(COMMAND ${SIM} --list-faults
  OUTPUT_VARIABLE listing RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "kmbdiag-sim --list-faults failed (${status}): ${errors}")
endif()

# roff: a backslash is an escape and '-' a hyphen; a fault's name is typed, so its dashes are
# minus signs.
function(roff_text text out)
  string(REPLACE "\\" "\\e" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(section "")
string(REPLACE "\n" ";" lines "${listing}")
foreach(line IN LISTS lines)
  if(line MATCHES "^Seen by (.*):$")
    roff_text("${CMAKE_MATCH_1}" heading)
    string(APPEND section ".SS \"Seen by ${heading}\"\n")
  elseif(line MATCHES "^  ([a-z0-9-]+) +(.*)$")
    string(REPLACE "-" "\\-" name "${CMAKE_MATCH_1}")
    roff_text("${CMAKE_MATCH_2}" meaning)
    string(APPEND section ".TP\n.B ${name}\n\\&${meaning}\n")
  endif()
endforeach()
if(section STREQUAL "")
  message(FATAL_ERROR "kmbdiag-sim --list-faults listed no fault")
endif()

file(READ ${IN} page)
string(REPLACE "@KMB_FAULT_LIST@\n" "${section}" page "${page}")
string(REPLACE "@PROJECT_VERSION@" "${VERSION}" page "${page}")
file(WRITE ${OUT} "${page}")
