# The W entry points through the unixODBC driver manager against vornd.
if(NOT WIN32 AND COMMAND vorn_connect_test)
  vorn_connect_test(wide_it
    ${CMAKE_CURRENT_SOURCE_DIR}/support/odbc_sandbox.cpp
    ${CMAKE_SOURCE_DIR}/platform/common/installer.cpp
    ${CMAKE_SOURCE_DIR}/platform/posix/installer.cpp)
  target_link_libraries(wide_it PRIVATE vornd_core vorn_expat odbc odbcinst ${VORN_GTEST})
endif()
