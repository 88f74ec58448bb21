# Tests against vornd started by each program (Linux):
#   odbc_it:      through the unixODBC driver manager, with the driver loaded
#                 as the manager loads it (tests/it/*_it.cpp but the one below);
#                 one test a process, as ctest runs them: unixODBC reads its
#                 configuration once per process;
#   tls_kit_it:   the kit's TLS module through its C API;
#   it.<script>:  each tests/it/*.py (pyodbc), *.pl (DBD::ODBC), *.php
#                 (php-odbc, PDO_ODBC) and *.R (RODBC), run by odbc_it against its vornd and
#                 private configuration.
if(NOT WIN32 AND TARGET vornd AND TARGET vornd_core)
  set(VORN_TLS_DEFS VORN_TLS_DIR="${CMAKE_CURRENT_BINARY_DIR}/tls-certs"
      VORN_CERT_SCRIPT="${CMAKE_CURRENT_SOURCE_DIR}/support/make-test-certs.sh")
  function(vorn_connect_test name)
    add_executable(${name} ${ARGN} ${CMAKE_CURRENT_SOURCE_DIR}/server/VorndProcess.cpp)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}
                               ${CMAKE_CURRENT_SOURCE_DIR}/server)
    target_compile_definitions(${name} PRIVATE ${VORN_TLS_DEFS}
      VORND_BINARY="$<TARGET_FILE:vornd>"
      VORND_SAMPLE_SQL="${CMAKE_SOURCE_DIR}/server/sample.sql"
      VORN_DRIVER_LIB="$<TARGET_FILE:vornodbc>"
      VORN_SANITIZER_PRELOAD="${VORN_SANITIZER_PRELOAD}")
    add_dependencies(${name} vornd vornodbc)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "-*.Script")
  endfunction()

  # The kit comes with the core objects (its own copy of the packet code).
  vorn_connect_test(tls_kit_it ${CMAKE_CURRENT_SOURCE_DIR}/it/tls_kit_it.cpp $<TARGET_OBJECTS:vorncore>)
  target_link_libraries(tls_kit_it PRIVATE vorncore_deps ${VORN_GTEST})

  # Only the driver manager's ODBC functions in this program: the driver is
  # the built library, loaded by the manager.
  file(GLOB VORN_ODBC_IT CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/it/*_it.cpp)
  list(REMOVE_ITEM VORN_ODBC_IT ${CMAKE_CURRENT_SOURCE_DIR}/it/tls_kit_it.cpp)
  vorn_connect_test(odbc_it ${VORN_ODBC_IT}
    ${CMAKE_CURRENT_SOURCE_DIR}/support/odbc_sandbox.cpp
    ${CMAKE_SOURCE_DIR}/platform/common/installer.cpp
    ${CMAKE_SOURCE_DIR}/platform/posix/installer.cpp)
  target_link_libraries(odbc_it PRIVATE vornd_core vorn_expat odbc odbcinst ${CMAKE_DL_LIBS} ${VORN_GTEST})

  file(GLOB VORN_IT_SCRIPTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/it/*.py ${CMAKE_CURRENT_SOURCE_DIR}/it/*.pl
       ${CMAKE_CURRENT_SOURCE_DIR}/it/*.php ${CMAKE_CURRENT_SOURCE_DIR}/it/*.R)
  foreach(script ${VORN_IT_SCRIPTS})
    get_filename_component(script_name ${script} NAME)
    add_test(NAME it.${script_name} COMMAND odbc_it --gtest_filter=DriverManager.Script)
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
