# Connect-level tests, each program starting its own vornd (Linux):
#   requests_it: the kit's C API and the driver's server requests, in-process;
#   connect_it:  SQLConnect / SQLDriverConnect through the unixODBC driver
#                manager, with the driver loaded as the manager loads it;
#   it.<script>: each tests/it/*.py (pyodbc), *.pl (DBD::ODBC) and *.php
#                (php-odbc, PDO_ODBC), run by
#                connect_it against its vornd and private configuration.
if(NOT WIN32 AND TARGET vornd AND TARGET vornd_core)
  function(vorn_connect_test name)
    add_executable(${name} ${CMAKE_CURRENT_SOURCE_DIR}/it/${name}.cpp
                   ${CMAKE_CURRENT_SOURCE_DIR}/server/WireClient.cpp ${ARGN})
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}
                               ${CMAKE_CURRENT_SOURCE_DIR}/server)
    target_compile_definitions(${name} PRIVATE
      VORND_BINARY="$<TARGET_FILE:vornd>"
      VORND_SAMPLE_SQL="${CMAKE_SOURCE_DIR}/server/sample.sql"
      VORN_DRIVER_LIB="$<TARGET_FILE:vornodbc>")
    add_dependencies(${name} vornd vornodbc)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "-*.Script")
  endfunction()

  # The kit comes with the core objects (its own copy of the packet code).
  vorn_connect_test(requests_it $<TARGET_OBJECTS:vorncore>)
  target_link_libraries(requests_it PRIVATE vorncore_deps ${VORN_GTEST})

  # Only the driver manager's ODBC functions in this program: the driver is
  # the built library, loaded by the manager.
  vorn_connect_test(connect_it
    ${CMAKE_CURRENT_SOURCE_DIR}/support/odbc_sandbox.cpp
    ${CMAKE_SOURCE_DIR}/platform/common/installer.cpp
    ${CMAKE_SOURCE_DIR}/platform/posix/installer.cpp)
  target_link_libraries(connect_it PRIVATE vornd_core vorn_expat odbc odbcinst ${VORN_GTEST})
  # Programs that are not instrumented (isql, python3, perl) load the driver.
  target_compile_definitions(connect_it PRIVATE VORN_SANITIZER_PRELOAD="${VORN_SANITIZER_PRELOAD}")

  file(GLOB VORN_IT_SCRIPTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/it/*.py ${CMAKE_CURRENT_SOURCE_DIR}/it/*.pl
       ${CMAKE_CURRENT_SOURCE_DIR}/it/*.php)
  foreach(script ${VORN_IT_SCRIPTS})
    get_filename_component(script_name ${script} NAME)
    add_test(NAME it.${script_name} COMMAND connect_it --gtest_filter=DriverManager.Script)
    set_tests_properties(it.${script_name} PROPERTIES ENVIRONMENT "VORN_IT_SCRIPT=${script}" TIMEOUT 300)
  endforeach()
endif()

# On Windows the dialog's behaviour runs in win_tests itself (which carries
# the core's objects, tests/kit_win.cmake), against a scripted stand-in for
# the window and the system's installer library.
if(WIN32 AND TARGET win_tests)
  target_sources(win_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/support/scripted_dialog.cpp)
  target_link_libraries(win_tests PRIVATE odbccp32)
endif()
