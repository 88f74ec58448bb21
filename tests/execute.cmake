# Statement execution and fetching through the unixODBC driver manager
# against vornd.
if(NOT WIN32 AND TARGET vornd AND TARGET vornd_core)
  foreach(name execute_it fetch_it params_it)
    vorn_connect_test(${name}
      ${CMAKE_CURRENT_SOURCE_DIR}/support/odbc_sandbox.cpp
      ${CMAKE_SOURCE_DIR}/platform/common/installer.cpp
      ${CMAKE_SOURCE_DIR}/platform/posix/installer.cpp)
    target_link_libraries(${name} PRIVATE vornd_core vorn_expat odbc odbcinst ${VORN_GTEST})
  endforeach()
endif()
