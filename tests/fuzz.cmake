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

  # The other fuzz targets (tests/fuzz/*_fuzz.cpp), each with its seed corpus
  # in tests/fuzz/corpus/<name>/: here every seed, and every past crash kept
  # there, runs once as a regression test; scripts/fuzz.sh runs them under
  # libFuzzer (a clang tree with VORN_LIBFUZZER).
  set(VORN_FUZZ_TARGETS kitanswer connstr attrlist escapes vornd_request)
  set(VORN_FUZZ_CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus)
  function(vorn_fuzz_objects target name)
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
    if(name STREQUAL "vornd_request")
      target_link_libraries(${target} PRIVATE vornd_core vorn_expat pthread)
    else()
      target_sources(${target} PRIVATE $<TARGET_OBJECTS:vorncore>)
      target_link_libraries(${target} PRIVATE vorncore_deps)
    endif()
  endfunction()
  foreach(name ${VORN_FUZZ_TARGETS})
    if(name STREQUAL "vornd_request" AND NOT TARGET vornd_core)
      continue()
    endif()
    add_executable(${name}_replay ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/${name}_fuzz.cpp
                   ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/replay_main.cpp)
    vorn_fuzz_objects(${name}_replay ${name})
    add_test(NAME fuzz_corpus.${name} COMMAND ${name}_replay ${VORN_FUZZ_CORPUS}/${name})
    set_tests_properties(fuzz_corpus.${name} PROPERTIES TIMEOUT 120)
  endforeach()

  # Under libFuzzer (clang): scripts/fuzz.sh builds and runs these.
  #   cmake -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DVORN_SANITIZE=ON -DVORN_LIBFUZZER=ON ..
  #   ./resultxml_libfuzzer -max_total_time=60 ../tests/xml_corpus
  option(VORN_LIBFUZZER "Build the libFuzzer form of the fuzz targets (clang)" OFF)
  if(VORN_LIBFUZZER)
    # Coverage for the code under test, not only the entry points.
    target_compile_options(vorncore PRIVATE -fsanitize=fuzzer-no-link)
    if(TARGET vornd_core)
      target_compile_options(vornd_core PRIVATE -fsanitize=fuzzer-no-link)
    endif()
    add_executable(resultxml_libfuzzer ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/resultxml_fuzz.cpp $<TARGET_OBJECTS:vorncore>)
    target_include_directories(resultxml_libfuzzer PRIVATE ${CMAKE_SOURCE_DIR})
    target_compile_definitions(resultxml_libfuzzer PRIVATE VORN_LIBFUZZER)
    target_compile_options(resultxml_libfuzzer PRIVATE -fsanitize=fuzzer)
    target_link_options(resultxml_libfuzzer PRIVATE -fsanitize=fuzzer)
    target_link_libraries(resultxml_libfuzzer PRIVATE vorncore_deps)
    foreach(name ${VORN_FUZZ_TARGETS})
      if(name STREQUAL "vornd_request" AND NOT TARGET vornd_core)
        continue()
      endif()
      add_executable(${name}_libfuzzer ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/${name}_fuzz.cpp)
      vorn_fuzz_objects(${name}_libfuzzer ${name})
      target_compile_options(${name}_libfuzzer PRIVATE -fsanitize=fuzzer)
      target_link_options(${name}_libfuzzer PRIVATE -fsanitize=fuzzer)
    endforeach()
  endif()
endif()
