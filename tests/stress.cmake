# The stress tier (tests/stress/): load, faults and hostile clients with
# small counts under ctest (label "stress"); VORN_STRESS_LONG=1 runs them
# long (scripts/test.sh stress --long).
if(NOT WIN32 AND TARGET vornd AND TARGET vornd_core)
  add_executable(hostile_clients_test ${CMAKE_CURRENT_SOURCE_DIR}/stress/hostile_clients_test.cpp
                 ${CMAKE_CURRENT_SOURCE_DIR}/server/VorndProcess.cpp ${CMAKE_CURRENT_SOURCE_DIR}/server/WireClient.cpp
                 $<TARGET_OBJECTS:vorncore>)
  target_include_directories(hostile_clients_test PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/server)
  target_compile_definitions(hostile_clients_test PRIVATE
    VORND_BINARY="$<TARGET_FILE:vornd>"
    VORND_SAMPLE_SQL="${CMAKE_SOURCE_DIR}/server/sample.sql")
  target_link_libraries(hostile_clients_test PRIVATE vorncore_deps ${VORN_GTEST})
  add_dependencies(hostile_clients_test vornd)
  add_test(NAME stress.hostile_clients COMMAND hostile_clients_test)
  set_tests_properties(stress.hostile_clients PROPERTIES LABELS stress TIMEOUT 1800)
endif()

# Through the driver manager: the built driver, loaded as the manager loads it.
if(NOT WIN32 AND TARGET vornd AND TARGET vornd_core AND TARGET vornodbc)
  add_executable(storm_it ${CMAKE_CURRENT_SOURCE_DIR}/stress/storm_it.cpp
                 ${CMAKE_CURRENT_SOURCE_DIR}/server/VorndProcess.cpp
                 ${CMAKE_CURRENT_SOURCE_DIR}/support/odbc_sandbox.cpp
                 ${CMAKE_SOURCE_DIR}/platform/common/installer.cpp
                 ${CMAKE_SOURCE_DIR}/platform/posix/installer.cpp)
  target_include_directories(storm_it PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}
                             ${CMAKE_CURRENT_SOURCE_DIR}/server)
  target_compile_definitions(storm_it PRIVATE
    VORND_BINARY="$<TARGET_FILE:vornd>"
    VORND_SAMPLE_SQL="${CMAKE_SOURCE_DIR}/server/sample.sql"
    VORN_DRIVER_LIB="$<TARGET_FILE:vornodbc>"
    VORN_SANITIZER_PRELOAD="${VORN_SANITIZER_PRELOAD}")
  target_link_libraries(storm_it PRIVATE odbc odbcinst ${VORN_GTEST} pthread)
  add_dependencies(storm_it vornd vornodbc)
  add_test(NAME stress.storm COMMAND storm_it)
  set_tests_properties(stress.storm PROPERTIES LABELS stress TIMEOUT 1800)
endif()

# Leak check: the connect/prepare/execute/fetch/disconnect cycles under
# valgrind's memcheck, vornd included; any lost block fails. (The sanitized
# tree runs the same cycles with LeakSanitizer.)
find_program(VORN_VALGRIND valgrind)
if(TARGET storm_it AND VORN_VALGRIND AND NOT VORN_SANITIZE)
  add_test(NAME leakcheck.cycles
    COMMAND ${VORN_VALGRIND} --trace-children=yes --leak-check=full --errors-for-leak-kinds=definite,indirect
            --show-leak-kinds=definite,indirect --error-exitcode=9
            $<TARGET_FILE:storm_it> --gtest_filter=Storm.ConnectPrepareExecuteFetchDisconnectCycles)
  set_tests_properties(leakcheck.cycles PROPERTIES TIMEOUT 600)
endif()
