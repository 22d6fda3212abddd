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
set(CPACK_DEBIAN_PACKAGE_SOURCE whiteboard-drivers)
# The binaries ship stripped; their debug information goes to the -dbgsym
# packages beside them. The shared libraries they link decide the
# dependencies (dpkg-shlibdeps, from dpkg-dev), with the versions they need.
# flock, used by the maintainer scripts, is in util-linux, which is essential.
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A 32-bit cross build makes i386 packages; dpkg-shlibdeps then looks up the
# i386 libraries (cmake/cpack-project.cmake tells it the host architecture).
if(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_PROCESSOR MATCHES "^i.86$")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE i386)
endif()
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack-project.cmake)

set(CPACK_DEBIAN_DRIVERS_PACKAGE_NAME whiteboard-drivers)
set(CPACK_DEBIAN_DRIVERS_DESCRIPTION
    "Whiteboard driver suite: board service, calibration and edge-key tools
Drives an interactive whiteboard attached through a USB serial adapter
(/dev/ttyUSB0) on an X desktop. The board service Quilld, started with the
graphical session, turns the pen or a finger on the board into pointer moves
and clicks, and the board's keys and printed edge keys into command words for
the whiteboard application (UDP 127.0.0.1:10000); Quilld-compact is a smaller
build for the pointer and the calibration key alone.

The package also holds the calibration tool Zuraze (4, 9 or 20 targets), the
edge-key setup tool Edgetab, two warning dialogs, the diagnosis command
whiteboard-doctor (it checks the chain from the adapter to the whiteboard
application and says how to fix what is wrong), menu entries, an autostart
entry, a systemd user unit, a udev rule for the board and manual pages.")
set(CPACK_DEBIAN_DRIVERS_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/data/debian/postinst ${PROJECT_SOURCE_DIR}/data/debian/postrm)
set(CPACK_DEBIAN_DRIVERS_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_DEMO_PACKAGE_NAME whiteboard-demo)
set(CPACK_DEBIAN_DEMO_DESCRIPTION
    "Demo whiteboard: a canvas that answers the board service's command words
A small drawing canvas for trying the whiteboard driver suite without a
whiteboard application: the pointer draws on it, and it listens on UDP
127.0.0.1:10000 for the command words the board service sends (pens, eraser,
new page, ...), showing each word it receives in its top right corner.")

include(CPack)
cpack_add_component_group(drivers)
cpack_add_component_group(demo)
cpack_add_component(suite GROUP drivers)
cpack_add_component(session GROUP drivers)
cpack_add_component(demo GROUP demo)
