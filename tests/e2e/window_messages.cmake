# The send-message action against real X windows. The test binary starts its
# own Xvfb (which picks a free display number) and x_test_window clients; the
# time limit covers the slow case, a window that refuses to close four times.
pkg_check_modules(XTEST_X11 REQUIRED IMPORTED_TARGET x11)

add_executable(x_test_window ${CMAKE_CURRENT_SOURCE_DIR}/e2e/x_test_window.c)
target_link_libraries(x_test_window PRIVATE PkgConfig::XTEST_X11)

add_executable(window_messages_e2e ${CMAKE_CURRENT_SOURCE_DIR}/e2e/window_messages_test.cpp
  ${TEST_SUPPORT_SOURCES})
target_include_directories(window_messages_e2e PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(window_messages_e2e PRIVATE updater_core GTest::gtest GTest::gtest_main)
target_compile_definitions(window_messages_e2e PRIVATE
  X_TEST_WINDOW="$<TARGET_FILE:x_test_window>")
add_dependencies(window_messages_e2e x_test_window)

add_test(NAME window_messages_e2e COMMAND window_messages_e2e)
set_tests_properties(window_messages_e2e PROPERTIES LABELS e2e TIMEOUT 120)
