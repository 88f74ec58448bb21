# The answer-document parser: its seed corpus, a bounded mutation run under
# ctest, and a second unit-test run with a single-byte code page in effect.
# In the Windows build the parser tests run under Wine with the core's
# objects (the DLL exports only ODBC functions, none of which parses yet),
# so that the static Expat and the ANSI code-page conversion are the ones
# the DLL carries.
if(WIN32)
  add_executable(resultxml_win_tests ${CMAKE_CURRENT_SOURCE_DIR}/unit/resultxml_test.cpp $<TARGET_OBJECTS:vorncore>)
  target_include_directories(resultxml_win_tests PRIVATE ${CMAKE_SOURCE_DIR})
  # Wine sees the build machine's root as drive Z:.
  target_compile_definitions(resultxml_win_tests PRIVATE VORN_XML_CORPUS="Z:${CMAKE_CURRENT_SOURCE_DIR}/xml_corpus")
  target_link_libraries(resultxml_win_tests PRIVATE vorncore_deps ${VORN_GTEST})
  add_test(NAME resultxml_win
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/win/wine-run.sh ${CMAKE_BINARY_DIR}/wineprefix
            $<TARGET_FILE:resultxml_win_tests>)
  set_tests_properties(resultxml_win PROPERTIES TIMEOUT 600)
else()
  set(VORN_XML_CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/xml_corpus)
  if(TARGET unit_tests)
    target_compile_definitions(unit_tests PRIVATE VORN_XML_CORPUS="${VORN_XML_CORPUS}")
    add_test(NAME resultxml_single_byte_charset
             COMMAND unit_tests --gtest_filter=ParseXml.*)
    set_tests_properties(resultxml_single_byte_charset PROPERTIES ENVIRONMENT "VSQL_CHARSET=ISO-8859-1")
  endif()

  add_executable(resultxml_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/resultxml_fuzz.cpp $<TARGET_OBJECTS:vorncore>)
  target_include_directories(resultxml_fuzz PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(resultxml_fuzz PRIVATE vorncore_deps)
  add_test(NAME resultxml_fuzz COMMAND resultxml_fuzz ${VORN_XML_CORPUS} 100000)
  set_tests_properties(resultxml_fuzz PROPERTIES TIMEOUT 60)

  # With clang, the same target under libFuzzer:
  #   cmake -DCMAKE_CXX_COMPILER=clang++ -DVORN_LIBFUZZER=ON ..
  #   ./resultxml_libfuzzer -max_total_time=60 ../tests/xml_corpus
  option(VORN_LIBFUZZER "Build the libFuzzer form of the parser fuzz target (clang)" OFF)
  if(VORN_LIBFUZZER)
    # Coverage for the parser and Expat's callers, not only the entry point.
    target_compile_options(vorncore PRIVATE -fsanitize=fuzzer-no-link)
    add_executable(resultxml_libfuzzer ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/resultxml_fuzz.cpp $<TARGET_OBJECTS:vorncore>)
    target_include_directories(resultxml_libfuzzer PRIVATE ${CMAKE_SOURCE_DIR})
    target_compile_definitions(resultxml_libfuzzer PRIVATE VORN_LIBFUZZER)
    target_compile_options(resultxml_libfuzzer PRIVATE -fsanitize=fuzzer)
    target_link_options(resultxml_libfuzzer PRIVATE -fsanitize=fuzzer)
    target_link_libraries(resultxml_libfuzzer PRIVATE vorncore_deps)
  endif()
endif()
