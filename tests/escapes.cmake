# SQLNativeSql and SQL_ATTR_NOSCAN through the unixODBC driver manager
# against vornd (the escapes themselves: tests/it/escapes_pyodbc.py).
if(NOT WIN32 AND TARGET vornd AND TARGET vornd_core)
  vorn_connect_test(escapes_it
    ${CMAKE_CURRENT_SOURCE_DIR}/support/odbc_sandbox.cpp
    ${CMAKE_SOURCE_DIR}/platform/common/installer.cpp
    ${CMAKE_SOURCE_DIR}/platform/posix/installer.cpp)
  target_link_libraries(escapes_it PRIVATE vornd_core vorn_expat odbc odbcinst ${VORN_GTEST})
endif()
