# Checks that an ELF program exports at most MAX of the project's own symbols:
# cmake -DTOOL=<nm> -DPROGRAM=<file> -DMAX=<n> -P check_own_exports.cmake. The dynamic symbols
# the toolchain puts there itself (the C++ and C runtimes, the sanitizers, the linker's
# markers) are not the project's and are not counted.
execute_process(COMMAND "${TOOL}" -D --defined-only "${PROGRAM}" OUTPUT_VARIABLE listing
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${TOOL} could not read ${PROGRAM}")
endif()
string(REPLACE "\n" ";" lines "${listing}")
set(own "")
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^[0-9a-fA-F]* *[A-Za-z] ([^ ]+)$")
    continue()
  endif()
  set(name "${CMAKE_MATCH_1}")
  # A versioned name is a shared library's symbol the program holds a copy of (libc's
  # environ, libstdc++'s stream tables); the rest is skipped by name: std::, __gnu_cxx::,
  # the C++ ABI and its tables, the sanitizer runtimes, the linker's markers.
  if(name MATCHES "@"
     OR name MATCHES "^_ZN?K?S[tadiobs]|^_ZT[ISVT]N?S|^_ZN9__gnu_cxx|^_ZN10__cxxabiv|^_ZT[ISV]N10__cxxabiv"
     OR name MATCHES "^__(asan|ubsan|lsan|sanitizer|interceptor|cxa|gxx|gcc|dso_handle|bss_start|data_start|TMC|GNU)"
     OR name MATCHES "^_(init|fini|edata|end|IO_stdin_used|ITM_)")
    continue()
  endif()
  list(APPEND own "${name}")
endforeach()
list(LENGTH own count)
if(count GREATER MAX)
  list(JOIN own "\n  " shown)
  message(FATAL_ERROR "${PROGRAM} exports ${count} symbols of its own (at most ${MAX}):\n  ${shown}")
endif()
message(STATUS "${PROGRAM} exports ${count} symbols of its own: ${own}")
