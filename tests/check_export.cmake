# Checks that a program exports a symbol: cmake -DTOOL=<nm or objdump> -DPROGRAM=<file>
# -DSYMBOL=<name> -P check_export.cmake. nm lists dynamic symbols (ELF), objdump -p the
# export table (PE).
get_filename_component(tool_name "${TOOL}" NAME)
if(tool_name MATCHES "objdump")
  execute_process(COMMAND "${TOOL}" -p "${PROGRAM}" OUTPUT_VARIABLE listing RESULT_VARIABLE status)
else()
  execute_process(COMMAND "${TOOL}" -D --defined-only "${PROGRAM}" OUTPUT_VARIABLE listing
                  RESULT_VARIABLE status)
endif()
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${TOOL} could not read ${PROGRAM}")
endif()
string(REGEX MATCH "[ \t]${SYMBOL}\n" found "${listing}")
if(NOT found)
  message(FATAL_ERROR "${PROGRAM} does not export ${SYMBOL}")
endif()
message(STATUS "${PROGRAM} exports ${SYMBOL}")
