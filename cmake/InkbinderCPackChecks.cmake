# Read by cpack before it makes each package.
if(CPACK_GENERATOR STREQUAL "DEB" AND NOT CPACK_INKBINDER_HAS_WINDOW)
  message(FATAL_ERROR "the Debian package needs the Qt window: configure with -DINKBINDER_QT=ON")
endif()
if(CPACK_GENERATOR STREQUAL "DEB" AND NOT CPACK_INKBINDER_HAS_MAN_PAGES)
  message(FATAL_ERROR "the Debian package needs the manual pages, which Python 3 makes")
endif()
