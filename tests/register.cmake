# The built library registering itself with unixODBC in a private
# configuration, then loaded from its registered copy by a fresh process.
if(NOT WIN32 AND COMMAND vorn_connect_test)
  vorn_connect_test(register_it
    ${CMAKE_CURRENT_SOURCE_DIR}/support/odbc_sandbox.cpp
    ${CMAKE_SOURCE_DIR}/platform/common/installer.cpp
    ${CMAKE_SOURCE_DIR}/platform/posix/installer.cpp)
  target_link_libraries(register_it PRIVATE vornd_core vorn_expat odbcinst ${CMAKE_DL_LIBS} ${VORN_GTEST})
  target_compile_definitions(register_it PRIVATE VORN_SANITIZER_PRELOAD="${VORN_SANITIZER_PRELOAD}")
endif()
