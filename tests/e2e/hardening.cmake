# Bad input too big for the unit tests: archives of gigabytes and of 100,000
# entries, in a binary of their own (tests/hardening), label "hardening".
file(GLOB HARDENING_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/hardening/*_test.cpp)
add_executable(hardening_tests ${HARDENING_TEST_SOURCES} ${TEST_SUPPORT_SOURCES})
target_include_directories(hardening_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(hardening_tests PRIVATE updater_core GTest::gtest GTest::gtest_main)
gtest_discover_tests(hardening_tests
  TEST_PREFIX hardening.
  PROPERTIES LABELS hardening TIMEOUT 600
  DISCOVERY_TIMEOUT 60)
