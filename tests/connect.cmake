# Connect-level tests against a real vornd (Linux):
#   requests_it: the driver's server requests through the kit, in-process;
#   connect_it:  SQLConnect / SQLDriverConnect through the unixODBC driver
#                manager, with the driver loaded as the manager loads it.
# The vornd test client parses answer documents with Expat.
if(TARGET vorn_expat)
  set(VORN_CONNECT_EXPAT vorn_expat)
else()
  set(VORN_CONNECT_EXPAT expat)
endif()
set(VORN_CONNECT_DEFS
  VORND_BINARY="$<TARGET_FILE:vornd>"
  VORND_SAMPLE_SQL="${CMAKE_SOURCE_DIR}/server/sample.sql")

if(NOT WIN32 AND TARGET vornd AND EXISTS ${CMAKE_SOURCE_DIR}/driver/requests.cpp
   AND EXISTS ${CMAKE_SOURCE_DIR}/driver/resultxml.cpp)

  add_executable(requests_it ${CMAKE_CURRENT_SOURCE_DIR}/it/requests_it.cpp
                 ${CMAKE_CURRENT_SOURCE_DIR}/server/WireClient.cpp $<TARGET_OBJECTS:vorncore>)
  target_include_directories(requests_it PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}
                             ${CMAKE_CURRENT_SOURCE_DIR}/server)
  target_link_libraries(requests_it PRIVATE vorncore_deps ${VORN_GTEST})
  target_compile_definitions(requests_it PRIVATE ${VORN_CONNECT_DEFS})
  add_dependencies(requests_it vornd)
  gtest_discover_tests(requests_it DISCOVERY_TIMEOUT 60)
endif()

if(NOT WIN32 AND TARGET vornd AND TARGET vornd_core)
  # Only the driver manager's ODBC functions in this program: the driver is
  # the built library, loaded by the manager.
  add_executable(connect_it ${CMAKE_CURRENT_SOURCE_DIR}/it/connect_it.cpp
                 ${CMAKE_CURRENT_SOURCE_DIR}/server/WireClient.cpp
                 ${CMAKE_CURRENT_SOURCE_DIR}/support/odbc_sandbox.cpp
                 ${CMAKE_SOURCE_DIR}/platform/common/installer.cpp
                 ${CMAKE_SOURCE_DIR}/platform/posix/installer.cpp)
  target_include_directories(connect_it PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}
                             ${CMAKE_CURRENT_SOURCE_DIR}/server)
  target_link_libraries(connect_it PRIVATE vornd_core ${VORN_CONNECT_EXPAT} odbc odbcinst ${VORN_GTEST})
  target_compile_definitions(connect_it PRIVATE ${VORN_CONNECT_DEFS}
                             VORN_DRIVER_LIB="$<TARGET_FILE:vornodbc>")
  add_dependencies(connect_it vornd vornodbc)
  gtest_discover_tests(connect_it DISCOVERY_TIMEOUT 60)
endif()

# On Windows the dialog's behaviour runs in win_tests itself (which carries
# the core's objects, tests/kit_win.cmake), against a scripted stand-in for
# the window and the system's installer library.
if(WIN32 AND TARGET win_tests)
  target_sources(win_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/support/scripted_dialog.cpp)
  target_link_libraries(win_tests PRIVATE odbccp32)
endif()
