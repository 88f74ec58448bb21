# vornd tests (Linux): the server is started on loopback and spoken to over
# the wire. Sources in tests/server/ so that they stay out of unit_tests.
if(NOT WIN32 AND TARGET vornd)
  function(vorn_server_test name)
    add_executable(${name} ${ARGN})
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/server)
    target_compile_definitions(${name} PRIVATE
      VORND_BINARY="$<TARGET_FILE:vornd>"
      VORND_SAMPLE_SQL="${CMAKE_SOURCE_DIR}/server/sample.sql")
    add_dependencies(${name} vornd)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  endfunction()

  file(GLOB VORN_SERVER_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/server/*.cpp)
  vorn_server_test(server_tests ${VORN_SERVER_TESTS})
  target_link_libraries(server_tests PRIVATE vornd_core vorn_expat ${VORN_GTEST})

  # The same server through the kit's C API, as the driver reaches it. It
  # links the core objects (the kit with its own copy of the packet code),
  # so it is a program of its own.
  vorn_server_test(server_kit_tests
    ${CMAKE_CURRENT_SOURCE_DIR}/server/kit/kitapi_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/server/WireClient.cpp
    $<TARGET_OBJECTS:vorncore>)
  target_link_libraries(server_kit_tests PRIVATE vorncore_deps vorn_expat ${VORN_GTEST})
endif()
