# GoogleTest: the system package natively, the Debian source package for the
# 32-bit and cross builds (whose libraries the system package does not carry).
if(WL_GTEST_FROM_SOURCE)
  set(WL_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(${WL_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Newer GoogleTest sources name these aliases themselves.
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
else()
  find_package(GTest REQUIRED)
endif()

# wl_add_test(NAME name SOURCES ... [LINKS ...] [LABELS ...])
# Builds a GoogleTest program and registers it as one test: one process per
# program keeps start-ups cheap under wine.
function(wl_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LINKS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/test_main.cpp)
  wl_target_defaults(${T_NAME})
  target_link_libraries(${T_NAME} PRIVATE ${T_LINKS} wl_test_support GTest::gtest)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set(labels ${T_LABELS})
  if(WIN32)
    list(APPEND labels windows)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${labels}" TIMEOUT 1200)
endfunction()
