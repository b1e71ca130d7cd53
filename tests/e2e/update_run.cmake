# One whole update run against nginx: LoadConfig from a private registry, the
# registered action types, RunUpdate with the configured manifest URL; then the
# log, the recorded version and the files are checked.
include(${CMAKE_CURRENT_LIST_DIR}/servers.cmake)

add_executable(update_run_e2e_tests ${CMAKE_CURRENT_LIST_DIR}/update_run_e2e_test.cpp
  ${TEST_SUPPORT_SOURCES})
target_include_directories(update_run_e2e_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(update_run_e2e_tests PRIVATE updater_core GTest::gtest GTest::gtest_main)
target_compile_definitions(update_run_e2e_tests PRIVATE
  UPDATER_SERVERS_DIR="${UPDATER_SERVERS_DIR}")
gtest_discover_tests(update_run_e2e_tests
  TEST_PREFIX e2e.update_run.
  TEST_LIST update_run_e2e_tests_TESTS
  DISCOVERY_TIMEOUT 60)
# List-valued properties do not survive gtest_discover_tests' PROPERTIES.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/update_run_e2e_properties.cmake
  "if(update_run_e2e_tests_TESTS)\n"
  "  set_tests_properties(\${update_run_e2e_tests_TESTS} PROPERTIES\n"
  "    FIXTURES_REQUIRED nginx LABELS e2e TIMEOUT 60\n"
  "    ENVIRONMENT \"${UPDATER_E2E_ENVIRONMENT}\")\n"
  "endif()\n")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES
  ${CMAKE_CURRENT_BINARY_DIR}/update_run_e2e_properties.cmake)
