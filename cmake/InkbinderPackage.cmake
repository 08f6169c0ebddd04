# What users install, made by CPack from the install rules:
#   Windows: cmake --build --preset mingw --target package
#            -> Inkbinder-<version>-win64.zip (the programs, 使用说明.txt, the licence)
#   Linux:   cmake --build --preset linux --target package   (with INKBINDER_QT=ON)
#            -> inkbinder_<version>_<arch>.deb

set(CPACK_PACKAGE_NAME Inkbinder)
set(CPACK_PACKAGE_VENDOR "Inkbinder developers")
set(CPACK_PACKAGE_CONTACT "Inkbinder developers <inkbinder@users.noreply.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turns a folder of .txt pages into a compiled help book (.chm)")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Pick a folder of .txt pages, type a book title and press one button: the\n"
  "tool writes the help project in code page 936, compiles it and leaves\n"
  "<title>.chm beside the pages. Its window and its books are in Simplified\n"
  "Chinese. inkbinder-cli does the same from a command line.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

set(inkbinder_guide ${CMAKE_SOURCE_DIR}/docs/使用说明.md)

if(WIN32)
  # The guide and the licence as Notepad on a Chinese Windows reads them.
  find_program(INKBINDER_ICONV iconv REQUIRED)
  set(texts ${CMAKE_BINARY_DIR}/package-texts)
  set(windows_texts)
  foreach(pair "${inkbinder_guide}|使用说明.txt" "${CMAKE_SOURCE_DIR}/LICENSE|LICENSE.txt")
    string(REPLACE "|" ";" pair "${pair}")
    list(GET pair 0 from)
    list(GET pair 1 to)
    add_custom_command(OUTPUT ${texts}/${to}
      COMMAND ${CMAKE_COMMAND} -DIN=${from} -DOUT=${texts}/${to} -DICONV=${INKBINDER_ICONV}
              -P ${CMAKE_SOURCE_DIR}/cmake/WindowsText.cmake
      DEPENDS ${from} ${CMAKE_SOURCE_DIR}/cmake/WindowsText.cmake
      VERBATIM)
    list(APPEND windows_texts ${texts}/${to})
  endforeach()
  add_custom_target(inkbinder-package-texts ALL DEPENDS ${windows_texts})
  install(FILES ${windows_texts} DESTINATION .)

  # Unpacked, the programs lie side by side at the top, ready to double-click.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME Inkbinder-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  # 使用说明.txt named in code page 936 and in UTF-8 (Info-ZIP's Unicode path
  # field), not UTF-8 alone: older unpackers on a Chinese Windows decode names
  # in code page 936 and ignore the UTF-8 flag.
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(CPACK_INKBINDER_PYTHON ${Python3_EXECUTABLE})
  set(CPACK_INKBINDER_ZIP_NAMES ${CMAKE_SOURCE_DIR}/cmake/windows_zip_names.py)
  set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/InkbinderWindowsZip.cmake)
else()
  set(docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/inkbinder)
  install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${docdir} RENAME copyright)
  install(FILES ${inkbinder_guide} DESTINATION ${docdir})

  # The changelog of a native Debian package, compressed as Debian wants it:
  # gzip -9 without a time stamp or name. Its newest entry, the AppStream
  # release and the project's version must agree.
  set(changelog ${CMAKE_SOURCE_DIR}/resources/linux/changelog)
  set(metainfo ${CMAKE_SOURCE_DIR}/resources/linux/org.inkbinder.inkbinder.metainfo.xml)
  file(STRINGS ${changelog} newest LIMIT_COUNT 1)
  file(STRINGS ${metainfo} release REGEX "<release " LIMIT_COUNT 1)
  if(NOT newest MATCHES "^inkbinder \\(${PROJECT_VERSION}\\) "
     OR NOT release MATCHES "version=\"${PROJECT_VERSION}\"")
    message(FATAL_ERROR "the newest entries of ${changelog} and ${metainfo} are not version ${PROJECT_VERSION}")
  endif()
  find_program(INKBINDER_GZIP gzip REQUIRED)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
    COMMAND ${INKBINDER_GZIP} -9nc ${changelog} > ${CMAKE_BINARY_DIR}/changelog.gz
    DEPENDS ${changelog})
  add_custom_target(inkbinder-changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
  install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${docdir})

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_PACKAGE_NAME inkbinder)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The shared libraries the programs link (libc, libstdc++, Qt, chmlib for
  # inkbinder-hhc's reader check) come from dpkg-shlibdeps; what they run or read
  # besides would be listed here. The built-in help compiler needs nothing more.
  set(INKBINDER_DEB_DEPENDS)
  list(JOIN INKBINDER_DEB_DEPENDS ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The window opens the finished book's folder through xdg-open.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
  # Without the window the package would lack the program its menu entry starts.
  set(CPACK_INKBINDER_HAS_WINDOW ${INKBINDER_QT})
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/InkbinderCPackChecks.cmake)
endif()

include(CPack)
