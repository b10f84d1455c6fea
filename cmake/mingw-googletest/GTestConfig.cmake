# GoogleTest for a cross build: the target has no prebuilt GoogleTest, so it is built from the
# sources that Debian's googletest package installs, with the project's own compiler. The mingw
# preset points GTest_DIR here; find_package(GTest) then yields the usual GTest:: targets.
set(HALVEX_GOOGLETEST_SOURCE_DIR /usr/src/googletest
    CACHE PATH "GoogleTest sources to build for the target")
if(NOT EXISTS ${HALVEX_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
  set(GTest_FOUND FALSE)
  set(GTest_NOT_FOUND_MESSAGE
      "no GoogleTest sources in ${HALVEX_GOOGLETEST_SOURCE_DIR} (install the googletest package)")
  return()
endif()

if(NOT TARGET gtest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${HALVEX_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
foreach(library gtest gtest_main gmock gmock_main)
  if(NOT TARGET GTest::${library})
    add_library(GTest::${library} ALIAS ${library})
  endif()
endforeach()
set(GTest_FOUND TRUE)
