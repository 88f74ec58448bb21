# win_tests.exe carries the core's objects so that it can call the kit's C
# API directly (the DLL exports only ODBC functions), and the dialog's
# behaviour (tests/win/*_win_test.cpp).
if(WIN32 AND TARGET win_tests)
  target_sources(win_tests PRIVATE $<TARGET_OBJECTS:vorncore>)
  target_link_libraries(win_tests PRIVATE vorncore_deps)
endif()
