# SPDX-License-Identifier: MIT
# GoogleTest: Debian's libgtest-dev for a native build; for a cross build the
# sources of Debian's googletest package, compiled with the target's compiler
# into the build folder. Either way the tests link GTest::gtest and
# GTest::gtest_main.
if(CMAKE_CROSSCOMPILING)
  set(RT420_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for a cross build")
  if(NOT EXISTS ${RT420_GTEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest sources in ${RT420_GTEST_SOURCE} (Debian package googletest)")
  endif()
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${RT420_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Newer GoogleTest sources name their targets so themselves.
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
else()
  find_package(GTest REQUIRED)
endif()
