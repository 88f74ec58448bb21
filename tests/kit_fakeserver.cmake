# kit_fake_server: the scripted fake server as a Linux program, which the
# Windows kit test talks to from under Wine. In the cross build it is made
# with the host compiler, since a mingw tree cannot build Linux programs.
set(VORN_KIT_FAKE_SERVER_SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/support/fake_server_main.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/support/fake_server.cpp
  ${CMAKE_SOURCE_DIR}/vornvdb/CData.cpp
  ${CMAKE_SOURCE_DIR}/platform/posix/kernel.cpp
  ${CMAKE_SOURCE_DIR}/platform/common/unicode.cpp)

if(NOT WIN32)
  add_executable(kit_fake_server ${VORN_KIT_FAKE_SERVER_SOURCES})
  target_compile_definitions(kit_fake_server PRIVATE VORN_FAKE_SERVER_MAIN)
  target_include_directories(kit_fake_server PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(kit_fake_server PRIVATE Threads::Threads ${CMAKE_DL_LIBS})
else()
  find_program(VORN_HOST_CXX NAMES g++ c++)
  if(VORN_HOST_CXX)
    set(VORN_KIT_FAKE_SERVER ${CMAKE_BINARY_DIR}/kit_fake_server)
    add_custom_command(OUTPUT ${VORN_KIT_FAKE_SERVER}
      COMMAND ${VORN_HOST_CXX} -std=c++17 -O1 -Wall -Wextra -DVORN_FAKE_SERVER_MAIN
              -I${CMAKE_SOURCE_DIR} -I${CMAKE_CURRENT_SOURCE_DIR}
              ${VORN_KIT_FAKE_SERVER_SOURCES} -o ${VORN_KIT_FAKE_SERVER} -pthread -ldl
      DEPENDS ${VORN_KIT_FAKE_SERVER_SOURCES}
      COMMENT "Building the host program kit_fake_server"
      VERBATIM)
    add_custom_target(kit_fake_server ALL DEPENDS ${VORN_KIT_FAKE_SERVER})
  endif()
endif()
