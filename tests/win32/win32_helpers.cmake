# For Windows: the second Win32 program that the back-end tests start, built
# beside unit_tests.exe so that they find it next to themselves.
add_executable(test_window ${CMAKE_CURRENT_LIST_DIR}/test_window.c)
set_target_properties(test_window PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
add_dependencies(unit_tests test_window)
