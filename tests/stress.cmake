# The stress tier (tests/stress/): load, faults and hostile clients with
# small counts under ctest (label "stress"); VORN_STRESS_LONG=1 runs them
# long (scripts/test.sh stress --long).
if(NOT WIN32 AND TARGET vornd AND TARGET vornd_core)
  add_executable(hostile_clients_test ${CMAKE_CURRENT_SOURCE_DIR}/stress/hostile_clients_test.cpp
                 ${CMAKE_CURRENT_SOURCE_DIR}/server/WireClient.cpp)
  target_include_directories(hostile_clients_test PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/server)
  target_compile_definitions(hostile_clients_test PRIVATE
    VORND_BINARY="$<TARGET_FILE:vornd>"
    VORND_SAMPLE_SQL="${CMAKE_SOURCE_DIR}/server/sample.sql")
  target_link_libraries(hostile_clients_test PRIVATE vornd_core vorn_expat ${VORN_GTEST} pthread)
  add_dependencies(hostile_clients_test vornd)
  add_test(NAME stress.hostile_clients COMMAND hostile_clients_test)
  set_tests_properties(stress.hostile_clients PROPERTIES LABELS stress TIMEOUT 1800)
endif()
