# The kit's public header from C: a C99 program that includes vornkit.h and
# calls the Export wrapper, linked with the kit's objects (the kit exports
# nothing from the driver library).
if(NOT WIN32)
  add_executable(kitreq_c ${CMAKE_CURRENT_SOURCE_DIR}/c/kitreq_export.c $<TARGET_OBJECTS:vorncore>)
  set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/c/kitreq_export.c PROPERTIES
    COMPILE_OPTIONS "-std=c99;-pedantic;-Werror")
  target_include_directories(kitreq_c PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(kitreq_c PRIVATE vorncore_deps)
  set_target_properties(kitreq_c PROPERTIES LINKER_LANGUAGE CXX)
  add_test(NAME kitreq_c COMMAND kitreq_c)
endif()
