# Test support: GoogleTest from Debian's sources, built with whatever toolchain
# this build uses (the mingw cross build included).
if(BUILD_TESTING)
  if(NOT TARGET gtest)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  endif()
  include(GoogleTest)
endif()

# inkbinder_add_test(name SOURCES... [LIBS ...]): one test binary, registered with ctest.
function(inkbinder_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT BUILD_TESTING)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  inkbinder_warnings(${name})
  target_link_libraries(${name} PRIVATE inkbinder_core inkbinder_testing gtest gtest_main ${ARG_LIBS})
  # Discovery would run every binary at build time (under Wine for the cross build): register whole binaries instead.
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "INKBINDER_BIN=${CMAKE_BINARY_DIR}/bin")
endfunction()
