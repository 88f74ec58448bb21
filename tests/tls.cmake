# Encrypted sessions (Linux): tls_it starts vornd with certificates made at
# test time into the build tree, and talks to it through the driver manager.
if(NOT WIN32 AND TARGET vornd AND TARGET vornd_core AND COMMAND vorn_connect_test)
  vorn_connect_test(tls_it
    ${CMAKE_CURRENT_SOURCE_DIR}/support/odbc_sandbox.cpp
    ${CMAKE_SOURCE_DIR}/platform/common/installer.cpp
    ${CMAKE_SOURCE_DIR}/platform/posix/installer.cpp)
  target_link_libraries(tls_it PRIVATE vornd_core vorn_expat odbc odbcinst ${VORN_GTEST})
  target_compile_definitions(tls_it PRIVATE
    VORN_TLS_DIR="${CMAKE_CURRENT_BINARY_DIR}/tls-certs"
    VORN_CERT_SCRIPT="${CMAKE_CURRENT_SOURCE_DIR}/support/make-test-certs.sh"
    VORN_SANITIZER_PRELOAD="${VORN_SANITIZER_PRELOAD}")
endif()

# The kit's TLS module through its C API (the kit comes with the core objects).
if(NOT WIN32 AND TARGET vornd AND TARGET vornd_core AND COMMAND vorn_connect_test)
  vorn_connect_test(tls_kit_it $<TARGET_OBJECTS:vorncore>)
  target_link_libraries(tls_kit_it PRIVATE vorncore_deps ${VORN_GTEST})
  target_compile_definitions(tls_kit_it PRIVATE
    VORN_TLS_DIR="${CMAKE_CURRENT_BINARY_DIR}/tls-certs"
    VORN_CERT_SCRIPT="${CMAKE_CURRENT_SOURCE_DIR}/support/make-test-certs.sh")
endif()
