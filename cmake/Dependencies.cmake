# The libraries the project builds on, as imported targets for the targets that use them:
# Boost::headers (Asio, PropertyTree; header-only, 1.74 or later) and
# nlohmann_json::nlohmann_json (kqm-call's JSON; header-only). GoogleTest comes from its
# sources, see cmake/Testing.cmake.

set(VTPS_BOOST_MIN_VERSION 1.74)

if(CMAKE_CROSSCOMPILING)
  # The cross compiler must never see the host's /usr/include: its glibc headers would be
  # taken for the target's. Both libraries are header-only, so the cross build reads them
  # from a folder that holds them and nothing else (by default links in this repository to
  # the host's copies).
  set(VTPS_CROSS_HEADERS "${CMAKE_SOURCE_DIR}/cmake/cross-headers" CACHE PATH
      "Folder holding only the header-only libraries for the cross build (boost/, nlohmann/)")
  set(version_header "${VTPS_CROSS_HEADERS}/boost/version.hpp")
  if(NOT EXISTS "${version_header}")
    message(FATAL_ERROR "No Boost headers in VTPS_CROSS_HEADERS (${VTPS_CROSS_HEADERS}): "
                        "${version_header} is missing")
  endif()
  file(STRINGS "${version_header}" boost_version_line REGEX "^#define BOOST_VERSION [0-9]+$")
  string(REGEX REPLACE "^#define BOOST_VERSION " "" boost_version "${boost_version_line}")
  math(EXPR boost_major "${boost_version} / 100000")
  math(EXPR boost_minor "${boost_version} / 100 % 1000")
  if("${boost_major}.${boost_minor}" VERSION_LESS VTPS_BOOST_MIN_VERSION)
    message(FATAL_ERROR "Boost ${boost_major}.${boost_minor} in ${VTPS_CROSS_HEADERS}; "
                        "${VTPS_BOOST_MIN_VERSION} or later is needed")
  endif()
  if(NOT EXISTS "${VTPS_CROSS_HEADERS}/nlohmann/json.hpp")
    message(FATAL_ERROR "No nlohmann/json.hpp in VTPS_CROSS_HEADERS (${VTPS_CROSS_HEADERS})")
  endif()
  message(STATUS "Boost ${boost_major}.${boost_minor} and nlohmann_json from ${VTPS_CROSS_HEADERS}")
  add_library(Boost::headers INTERFACE IMPORTED)
  set_target_properties(Boost::headers PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${VTPS_CROSS_HEADERS}")
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${VTPS_CROSS_HEADERS}")
else()
  find_package(Boost ${VTPS_BOOST_MIN_VERSION} REQUIRED)
  find_package(nlohmann_json 3 REQUIRED)
endif()
