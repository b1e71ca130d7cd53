# updater-manifest: its unit tests run inside unit_tests; here its command line
# (exit codes, files written) and verify against the nginx fixture.
include(${CMAKE_CURRENT_LIST_DIR}/servers.cmake)

# tests/unit/tools/*_test.cpp are globbed into unit_tests; they need the tool's
# library.
target_link_libraries(unit_tests PRIVATE manifest_tool)

add_executable(manifest_tool_e2e_tests ${CMAKE_CURRENT_LIST_DIR}/manifest_tool_e2e_test.cpp
  ${TEST_SUPPORT_SOURCES})
target_include_directories(manifest_tool_e2e_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(manifest_tool_e2e_tests PRIVATE updater_core GTest::gtest GTest::gtest_main)
target_compile_definitions(manifest_tool_e2e_tests PRIVATE
  UPDATER_MANIFEST_TOOL="$<TARGET_FILE:updater-manifest>"
  UPDATER_TEST_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}"
  UPDATER_SERVERS_DIR="${UPDATER_SERVERS_DIR}"
  UPDATER_VERSION="${UPDATER_VERSION}")
add_dependencies(manifest_tool_e2e_tests updater-manifest)
gtest_discover_tests(manifest_tool_e2e_tests
  TEST_PREFIX e2e.manifest_tool.
  TEST_LIST manifest_tool_e2e_tests_TESTS
  DISCOVERY_TIMEOUT 60)
# List-valued properties do not survive gtest_discover_tests' PROPERTIES, so
# they are set by a script that ctest reads after the discovered tests.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/manifest_tool_e2e_properties.cmake
  "if(manifest_tool_e2e_tests_TESTS)\n"
  "  set_tests_properties(\${manifest_tool_e2e_tests_TESTS} PROPERTIES\n"
  "    FIXTURES_REQUIRED nginx LABELS e2e TIMEOUT 60\n"
  "    ENVIRONMENT \"${UPDATER_E2E_ENVIRONMENT}\")\n"
  "endif()\n")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES
  ${CMAKE_CURRENT_BINARY_DIR}/manifest_tool_e2e_properties.cmake)
