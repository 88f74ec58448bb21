# The data-source dialog's resources go into the Windows library.
if(WIN32)
  enable_language(RC)
  list(APPEND VORN_WIN_RESOURCES ${CMAKE_SOURCE_DIR}/setup/vornsetup.rc)
  set_source_files_properties(${CMAKE_SOURCE_DIR}/setup/vornsetup.rc PROPERTIES
    INCLUDE_DIRECTORIES ${CMAKE_SOURCE_DIR})
endif()
