# HttpDownload over the real POSIX internet client against the test servers.
include(${CMAKE_CURRENT_LIST_DIR}/servers.cmake)

add_executable(downloader_e2e_tests ${CMAKE_CURRENT_LIST_DIR}/downloader_e2e_test.cpp
  ${TEST_SUPPORT_SOURCES})
target_include_directories(downloader_e2e_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(downloader_e2e_tests PRIVATE updater_core GTest::gtest GTest::gtest_main)
target_compile_definitions(downloader_e2e_tests PRIVATE
  UPDATER_SERVERS_DIR="${UPDATER_SERVERS_DIR}")
gtest_discover_tests(downloader_e2e_tests
  TEST_PREFIX e2e.downloader.
  TEST_LIST downloader_e2e_tests_TESTS
  DISCOVERY_TIMEOUT 60)
# List-valued properties do not survive gtest_discover_tests' PROPERTIES, so
# they are set by a script that ctest reads after the discovered tests.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/downloader_e2e_properties.cmake
  "if(downloader_e2e_tests_TESTS)\n"
  "  set_tests_properties(\${downloader_e2e_tests_TESTS} PROPERTIES\n"
  "    FIXTURES_REQUIRED \"nginx;faultserver\" LABELS e2e TIMEOUT 60\n"
  "    ENVIRONMENT \"${UPDATER_E2E_ENVIRONMENT}\")\n"
  "endif()\n")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES
  ${CMAKE_CURRENT_BINARY_DIR}/downloader_e2e_properties.cmake)
