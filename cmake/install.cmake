# Installation (Linux): the driver into the system's ODBC driver folder,
# vornd into bin/, and a driver entry for odbcinst; `cpack -G DEB` makes two
# Debian packages of it, vornodbc (the driver) and vornd (the server).
include(GNUInstallDirs)

set(VORN_DRIVER_DESCRIPTION "Kalmo VORNsql driver")
set(VORN_ODBC_DIR ${CMAKE_INSTALL_LIBDIR}/odbc)
set(VORN_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/vornodbc)
set(VORN_DRIVER_FILE ${CMAKE_SHARED_LIBRARY_PREFIX}vornodbc${CMAKE_SHARED_LIBRARY_SUFFIX})
set(VORN_ODBCINST_TEMPLATE ${CMAKE_INSTALL_FULL_DATADIR}/vornodbc/odbcinst.ini.template)

install(TARGETS vornodbc LIBRARY DESTINATION ${VORN_ODBC_DIR} COMPONENT driver)
configure_file(${CMAKE_SOURCE_DIR}/cmake/package/odbcinst.ini.in ${CMAKE_BINARY_DIR}/package/odbcinst.ini.template @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/package/odbcinst.ini.template DESTINATION ${VORN_SHARE_DIR} COMPONENT driver)

if(TARGET vornd)
  install(TARGETS vornd RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT server)
  install(FILES ${CMAKE_SOURCE_DIR}/server/sample.sql ${CMAKE_SOURCE_DIR}/server/README.md
          DESTINATION ${CMAKE_INSTALL_DATADIR}/vornd COMPONENT server)
endif()

# The maintainer scripts register the driver with odbcinst on install and
# remove the entry on removal.
foreach(script postinst prerm)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/package/${script}.in ${CMAKE_BINARY_DIR}/package/${script} @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vornodbc)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kalmo")
set(CPACK_PACKAGE_CONTACT "vornodbc developers <vornodbc@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL driver server)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_DRIVER_PACKAGE_NAME vornodbc)
set(CPACK_COMPONENT_DRIVER_DESCRIPTION
    "ODBC driver for the VORN text-retrieval database server\n The Kalmo VORNsql driver for the unixODBC driver manager, registered with odbcinst.")
# The installer library is loaded by name at run time, and the maintainer
# scripts call odbcinst: neither shows in the library's own links.
set(CPACK_DEBIAN_DRIVER_PACKAGE_DEPENDS "libodbc2, libodbcinst2, odbcinst")
set(CPACK_DEBIAN_DRIVER_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/package/postinst ${CMAKE_BINARY_DIR}/package/prerm)

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME vornd)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION database)
set(CPACK_COMPONENT_SERVER_DESCRIPTION
    "VORN server on SQLite\n vornd speaks the VORN wire protocol and keeps its data in one SQLite database file.")

include(CPack)
