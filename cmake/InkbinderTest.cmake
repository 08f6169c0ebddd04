# Test support: the installed GoogleTest. A toolchain without one (the mingw
# cross build: Debian ships GoogleTest for Windows only as sources) builds
# GoogleTest's sources with itself.
if(BUILD_TESTING AND NOT TARGET GTest::gtest)
  find_package(GTest QUIET)
  if(NOT GTest_FOUND)
    find_path(INKBINDER_GTEST_SOURCE_DIR googletest/CMakeLists.txt
              PATHS /usr/src/googletest NO_CMAKE_FIND_ROOT_PATH
              DOC "GoogleTest's sources, built when this toolchain has no GoogleTest installed")
    if(NOT INKBINDER_GTEST_SOURCE_DIR)
      message(FATAL_ERROR "No GoogleTest for this toolchain: install it, or point "
                          "INKBINDER_GTEST_SOURCE_DIR at its sources")
    endif()
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    message(STATUS "GoogleTest: building the sources in ${INKBINDER_GTEST_SOURCE_DIR}")
    add_subdirectory(${INKBINDER_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    if(NOT TARGET GTest::gtest)  # older sources name only gtest and gtest_main
      add_library(GTest::gtest ALIAS gtest)
      add_library(GTest::gtest_main ALIAS gtest_main)
    endif()
  endif()
endif()

# inkbinder_add_test(name SOURCES... [LIBS ...]): one test binary, registered with ctest.
function(inkbinder_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT BUILD_TESTING)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  inkbinder_warnings(${name})
  target_link_libraries(${name} PRIVATE inkbinder_core inkbinder_testing GTest::gtest GTest::gtest_main ${ARG_LIBS})
  # Discovery would run every binary at build time (under Wine for the cross build): register whole binaries instead.
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "INKBINDER_BIN=${CMAKE_BINARY_DIR}/bin")
endfunction()
