# vornd tests (Linux): the server is started on loopback and spoken to over
# the wire, byte by byte and through the kit's C API with the driver's own
# answer reader (the core objects; never with vornd_core as well, which has
# its own copy of the packet code). Sources in tests/server/ so that they
# stay out of unit_tests; the codecs come as their source.
if(NOT WIN32 AND TARGET vornd)
  find_package(SQLite3 REQUIRED)  # the real-number texts are checked against SQLite's own
  file(GLOB VORN_SERVER_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/server/*.cpp)
  add_executable(server_tests ${VORN_SERVER_TESTS} $<TARGET_OBJECTS:vorncore> ${CMAKE_SOURCE_DIR}/server/Codec.cpp)
  target_include_directories(server_tests PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/server)
  target_compile_definitions(server_tests PRIVATE
    VORND_BINARY="$<TARGET_FILE:vornd>"
    VORND_SAMPLE_SQL="${CMAKE_SOURCE_DIR}/server/sample.sql")
  target_link_libraries(server_tests PRIVATE vorncore_deps SQLite::SQLite3 ${VORN_GTEST})
  add_dependencies(server_tests vornd)
  gtest_discover_tests(server_tests DISCOVERY_TIMEOUT 60)
endif()
