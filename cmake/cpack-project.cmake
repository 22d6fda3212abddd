# Read by cpack itself: dpkg-shlibdeps resolves the libraries of the
# architecture being packaged, not of the machine that packages.
if(CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
  set(ENV{DEB_HOST_ARCH} ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE})
endif()
