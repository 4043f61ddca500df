# Runs CLI --list-profiles and compares its standard output with EXPECTED byte for byte.
execute_process(COMMAND ${CLI} --list-profiles OUTPUT_FILE ${OUT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "kestrine-cli --list-profiles exited with ${rc}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT} ${EXPECTED} RESULT_VARIABLE diff)
if(NOT diff EQUAL 0)
    message(FATAL_ERROR "kestrine-cli --list-profiles differs from ${EXPECTED}; see ${OUT}")
endif()
