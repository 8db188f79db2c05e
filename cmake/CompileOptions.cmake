# Compile options shared by every target of the project.

add_library(vtps_options INTERFACE)
target_compile_features(vtps_options INTERFACE cxx_std_20)
target_compile_options(vtps_options INTERFACE
  -Wall -Wextra -Wshadow -Werror
  # Source paths in exception records and logs are relative to the checkout.
  -ffile-prefix-map=${CMAKE_SOURCE_DIR}/=)
target_include_directories(vtps_options INTERFACE ${CMAKE_SOURCE_DIR})

if(WIN32)
  # Windows 10 API level for Asio; mingw's own printf for Format.
  target_compile_definitions(vtps_options INTERFACE
    _WIN32_WINNT=0x0A00 WIN32_LEAN_AND_MEAN NOMINMAX __USE_MINGW_ANSI_STDIO=1)
  # The exported initialisation function of the server executable.
  target_compile_definitions(vtps_options INTERFACE "VTPS_EXPORT=__attribute__((dllexport))")
else()
  target_compile_definitions(vtps_options INTERFACE
    "VTPS_EXPORT=__attribute__((visibility(\"default\")))")
endif()

# The printf format checks: GCC (also for mingw's own printf) knows gnu_printf, clang printf.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  target_compile_definitions(vtps_options INTERFACE KQ_PRINTF_ARCHETYPE=printf)
else()
  target_compile_definitions(vtps_options INTERFACE KQ_PRINTF_ARCHETYPE=gnu_printf)
endif()

option(VTPS_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(VTPS_SANITIZE)
  target_compile_options(vtps_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(vtps_options INTERFACE -fsanitize=address,undefined)
endif()

option(VTPS_FUZZ "Build the libFuzzer targets (needs clang)" OFF)
if(VTPS_FUZZ)
  # Coverage instrumentation on every library, so that the fuzzers see the code they drive;
  # the fuzz targets themselves add -fsanitize=fuzzer for libFuzzer's main.
  target_compile_options(vtps_options INTERFACE -fsanitize=fuzzer-no-link)
  target_link_options(vtps_options INTERFACE -fsanitize=fuzzer-no-link)
endif()

option(VTPS_TSAN "Build with ThreadSanitizer (needs clang: g++ 12 refuses it on Asio)" OFF)
if(VTPS_TSAN)
  target_compile_options(vtps_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(vtps_options INTERFACE -fsanitize=thread)
endif()
