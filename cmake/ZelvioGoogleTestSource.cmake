# GoogleTest built from its source, for a build that has no GoogleTest package of its own (the
# Windows cross build: Debian packages GoogleTest's source, /usr/src/googletest, but no MinGW
# build of it). Follows ZELVIO_BUILD_TESTS as zelvio_optional does: AUTO builds the tests when
# the source is there, ON requires it, OFF leaves the tests out. Provides GTest::gtest and
# GTest::gtest_main (GoogleTest names them so itself) and sets ZELVIO_BUILD_TESTS_ENABLED.
set(ZELVIO_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's source tree")
string(TOUPPER "${ZELVIO_BUILD_TESTS}" _zelvio_mode)
set(ZELVIO_BUILD_TESTS_ENABLED OFF)
if(NOT _zelvio_mode STREQUAL "OFF" AND ZELVIO_BUILD_TESTS)
  if(EXISTS ${ZELVIO_GOOGLETEST_SOURCE}/CMakeLists.txt)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(${ZELVIO_GOOGLETEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    set(ZELVIO_BUILD_TESTS_ENABLED ON)
  elseif(_zelvio_mode STREQUAL "AUTO")
    message(STATUS "ZELVIO_BUILD_TESTS: no GoogleTest source at ${ZELVIO_GOOGLETEST_SOURCE}, so "
                   "the tests are left out (install the package googletest)")
  else()
    message(FATAL_ERROR "ZELVIO_BUILD_TESTS is ON but ${ZELVIO_GOOGLETEST_SOURCE} holds no "
                        "GoogleTest source")
  endif()
endif()
