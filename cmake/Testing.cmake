# GoogleTest from Debian's sources, built for whichever target this build is for, and the
# helper that registers a test executable with CTest.

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(VTPS_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH
    "GoogleTest's source folder (Debian package googletest)")
add_subdirectory(${VTPS_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL
                 SYSTEM)
include(GoogleTest)

# vtps_add_test(NAME SOURCES... LIBS...): one gtest executable whose tests CTest lists one by one.
function(vtps_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock_main vtps_options)
  set(environment "")
  if(VTPS_TSAN)
    # Inherited by the programs the tests start, too.
    set(environment ENVIRONMENT
      "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/tsan-suppressions.txt")
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120 ${environment})
endfunction()
