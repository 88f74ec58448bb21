# Expat, the result-set XML parser, as the target vorn_expat.
# Linux: the system's libexpat. Windows: Debian's Expat source (fetched once by
# scripts/fetch-expat.sh into a cache folder) built here as a static library.
add_library(vorn_expat INTERFACE)

if(NOT WIN32)
  find_package(EXPAT REQUIRED)
  target_link_libraries(vorn_expat INTERFACE EXPAT::EXPAT)
  return()
endif()

if(DEFINED ENV{VORN_CACHE_DIR})
  set(_vorn_expat_cache "$ENV{VORN_CACHE_DIR}/expat")
else()
  set(_vorn_expat_cache "$ENV{HOME}/.cache/vornodbc/expat")
endif()
set(VORN_EXPAT_SOURCE_DIR "${_vorn_expat_cache}/src/expat" CACHE PATH
    "Expat source tree (the folder holding Expat's CMakeLists.txt)")

if(NOT EXISTS "${VORN_EXPAT_SOURCE_DIR}/CMakeLists.txt")
  message(STATUS "Expat source not found in ${VORN_EXPAT_SOURCE_DIR}: running scripts/fetch-expat.sh")
  execute_process(
    COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/fetch-expat.sh
    RESULT_VARIABLE _vorn_fetch_rc
    OUTPUT_VARIABLE _vorn_fetched_dir
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT _vorn_fetch_rc EQUAL 0)
    message(FATAL_ERROR "scripts/fetch-expat.sh failed (${_vorn_fetch_rc})")
  endif()
  set(VORN_EXPAT_SOURCE_DIR "${_vorn_fetched_dir}" CACHE PATH
      "Expat source tree (the folder holding Expat's CMakeLists.txt)" FORCE)
endif()

set(EXPAT_SHARED_LIBS OFF)
set(EXPAT_BUILD_TOOLS OFF)
set(EXPAT_BUILD_EXAMPLES OFF)
set(EXPAT_BUILD_TESTS OFF)
set(EXPAT_BUILD_DOCS OFF)
set(EXPAT_BUILD_FUZZERS OFF)
set(EXPAT_BUILD_PKGCONFIG OFF)
set(EXPAT_ENABLE_INSTALL OFF)
set(CMAKE_POLICY_DEFAULT_CMP0063 NEW)
# Expat's long configuration summary would bury ours.
set(_vorn_log_level "${CMAKE_MESSAGE_LOG_LEVEL}")
set(CMAKE_MESSAGE_LOG_LEVEL NOTICE)
add_subdirectory(${VORN_EXPAT_SOURCE_DIR} ${CMAKE_BINARY_DIR}/expat EXCLUDE_FROM_ALL)
set(CMAKE_MESSAGE_LOG_LEVEL "${_vorn_log_level}")
message(STATUS "Expat: static, from ${VORN_EXPAT_SOURCE_DIR}")
# Third-party code: its warnings are not ours to fix.
target_compile_options(expat PRIVATE -w)
target_compile_definitions(vorn_expat INTERFACE XML_STATIC)
target_link_libraries(vorn_expat INTERFACE expat)
