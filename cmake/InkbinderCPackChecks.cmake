# Read by cpack before it makes each package.
if(CPACK_GENERATOR STREQUAL "DEB" AND NOT CPACK_INKBINDER_HAS_WINDOW)
  message(FATAL_ERROR "the Debian package needs the Qt window: configure with -DINKBINDER_QT=ON")
endif()
