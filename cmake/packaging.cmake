# Debian packages (`cpack -G DEB` in the build directory): the suite with its
# desktop integration, and the demo whiteboard apart from it, so that the demo
# never stands in the way of a real whiteboard application.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_VENDOR "Whiteboard driver team")
set(CPACK_PACKAGE_CONTACT "Whiteboard driver team <drivers@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /)   # every install path is absolute
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL suite session demo)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)

set(CPACK_DEBIAN_DRIVERS_PACKAGE_NAME whiteboard-drivers)
set(CPACK_DEBIAN_DRIVERS_DESCRIPTION
    "Whiteboard driver suite: board service, calibration and edge-key tools")
set(CPACK_DEBIAN_DRIVERS_PACKAGE_DEPENDS
    "libc6, libstdc++6, libglib2.0-0, libgtk2.0-0, libgdk-pixbuf-2.0-0, libx11-6, libxtst6, util-linux")
set(CPACK_DEBIAN_DRIVERS_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/data/debian/postinst ${PROJECT_SOURCE_DIR}/data/debian/postrm)
set(CPACK_DEBIAN_DRIVERS_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_DEMO_PACKAGE_NAME whiteboard-demo)
set(CPACK_DEBIAN_DEMO_DESCRIPTION
    "Demo whiteboard: a canvas that answers the board service's command words")
set(CPACK_DEBIAN_DEMO_PACKAGE_DEPENDS "libc6, libstdc++6, libglib2.0-0, libgtk2.0-0, libcairo2")

include(CPack)
cpack_add_component_group(drivers)
cpack_add_component_group(demo)
cpack_add_component(suite GROUP drivers)
cpack_add_component(session GROUP drivers)
cpack_add_component(demo GROUP demo)
