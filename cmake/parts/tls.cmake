# TLS for the kit's TLS comms module: OpenSSL on Linux, the system's Schannel
# (secur32, crypt32: system DLLs) on Windows.
if(WIN32)
  target_link_libraries(vorncore_deps INTERFACE secur32 crypt32)
else()
  find_package(OpenSSL REQUIRED)
  target_link_libraries(vorncore_deps INTERFACE OpenSSL::SSL)
  target_link_libraries(vorncore PUBLIC OpenSSL::SSL)
endif()
