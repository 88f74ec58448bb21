# Two small filter libraries for the kit's local filter routines (Linux unit
# tests). Library B exports its routine only under the decorated name
# "_sqlgetobject@8", which ELF tools cannot spell: it is linked with a SysV
# hash table only and its placeholder name rewritten in place afterwards.
if(NOT WIN32 AND TARGET unit_tests)
  foreach(lib a b)
    add_library(kit_filter_${lib} SHARED ${CMAKE_CURRENT_SOURCE_DIR}/kit_filters/filter.c)
    target_include_directories(kit_filter_${lib} PRIVATE ${CMAKE_SOURCE_DIR})
  endforeach()
  target_compile_definitions(kit_filter_b PRIVATE KIT_FILTER_B)
  target_link_options(kit_filter_b PRIVATE -Wl,--hash-style=sysv)
  add_custom_command(TARGET kit_filter_b POST_BUILD
    COMMAND sed -i s/_sqlgetobjdsqp8/_sqlgetobject@8/g $<TARGET_FILE:kit_filter_b> VERBATIM)
  add_dependencies(unit_tests kit_filter_a kit_filter_b)
  target_compile_definitions(unit_tests PRIVATE
    KIT_FILTER_A="$<TARGET_FILE:kit_filter_a>" KIT_FILTER_B="$<TARGET_FILE:kit_filter_b>")
endif()
