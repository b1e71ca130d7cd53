# For Windows: HttpDownload through WinINet against nginx and the fault server.
include(${CMAKE_CURRENT_LIST_DIR}/../e2e/servers.cmake)

add_executable(wininet_e2e_tests ${CMAKE_CURRENT_LIST_DIR}/wininet_e2e_test.cpp
  ${TEST_SUPPORT_SOURCES})
target_include_directories(wininet_e2e_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(wininet_e2e_tests PRIVATE updater_core GTest::gtest GTest::gtest_main)
target_compile_options(wininet_e2e_tests PRIVATE ${UPDATER_TEST_SHIMS})
target_compile_definitions(wininet_e2e_tests PRIVATE UPDATER_SERVERS_DIR="${UPDATER_SERVERS_DIR}")
gtest_discover_tests(wininet_e2e_tests
  TEST_PREFIX win32.wininet.
  TEST_LIST wininet_e2e_tests_TESTS
  DISCOVERY_TIMEOUT 60)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/wininet_e2e_properties.cmake
  "if(wininet_e2e_tests_TESTS)\n"
  "  set_tests_properties(\${wininet_e2e_tests_TESTS} PROPERTIES\n"
  "    FIXTURES_REQUIRED \"nginx;faultserver\" LABELS \"e2e;wine\" TIMEOUT 60\n"
  "    ENVIRONMENT \"${UPDATER_E2E_ENVIRONMENT}\")\n"
  "endif()\n")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES
  ${CMAKE_CURRENT_BINARY_DIR}/wininet_e2e_properties.cmake)
