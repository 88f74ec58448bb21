# vornd tests (Linux): the server is started on loopback and spoken to over
# the wire. Sources in tests/server/ so that they stay out of unit_tests; the
# kit's C API against vornd is exercised by requests_it (tests/connect.cmake).
if(NOT WIN32 AND TARGET vornd)
  file(GLOB VORN_SERVER_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/server/*.cpp)
  add_executable(server_tests ${VORN_SERVER_TESTS})
  target_include_directories(server_tests PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/server)
  target_compile_definitions(server_tests PRIVATE
    VORND_BINARY="$<TARGET_FILE:vornd>"
    VORND_SAMPLE_SQL="${CMAKE_SOURCE_DIR}/server/sample.sql")
  target_link_libraries(server_tests PRIVATE vornd_core vorn_expat ${VORN_GTEST})
  add_dependencies(server_tests vornd)
  gtest_discover_tests(server_tests DISCOVERY_TIMEOUT 60)
endif()
