# Answers find_package(GTest) in a cross build, where GoogleTest is compiled from its sources
# inside the build (cmake/windows.cmake) and its targets already exist.
if(NOT TARGET GTest::gtest OR NOT TARGET GTest::gtest_main)
  set(GTest_FOUND FALSE)
  set(GTest_NOT_FOUND_MESSAGE "GoogleTest targets were not added before the tests")
endif()
