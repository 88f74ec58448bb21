# The kit's Windows test: win_tests.exe carries the core's objects so that it
# can call the kit's C API directly (the DLL exports only ODBC functions),
# and the test "kit_win" runs it against the host fake server.
if(WIN32 AND TARGET win_tests)
  target_sources(win_tests PRIVATE $<TARGET_OBJECTS:vorncore>)
  target_link_libraries(win_tests PRIVATE vorncore_deps)
  if(TARGET kit_fake_server)
    add_dependencies(win_tests kit_fake_server)
    add_test(NAME kit_win
      COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/win/kit_win_run.sh ${VORN_KIT_FAKE_SERVER}
              ${CMAKE_BINARY_DIR}/wineprefix $<TARGET_FILE:win_tests>)
    set_tests_properties(kit_win PROPERTIES TIMEOUT 600)
  endif()
endif()
