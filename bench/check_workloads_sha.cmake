# Runs the workload generator and compares the SHA-256 of its CSV with the
# published one. Arguments: TOOL, OUT, EXPECTED.
execute_process(COMMAND ${TOOL} OUTPUT_FILE ${OUT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${TOOL} failed: ${rc}")
endif()
file(SHA256 ${OUT} actual)
if(NOT actual STREQUAL EXPECTED)
  message(FATAL_ERROR "workload CSV SHA-256 is ${actual}, expected ${EXPECTED}")
endif()
message(STATUS "workload CSV SHA-256 ${actual}")
