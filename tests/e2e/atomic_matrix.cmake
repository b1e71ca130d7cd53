# Atomic updates (atomic_matrix.py): the real updater in console mode, each
# undoable action in turn followed by a failure or a kill, one ctest test per
# case, label "atomic".
include(${CMAKE_CURRENT_LIST_DIR}/servers.cmake)

if(TARGET updater AND TARGET updater-reg)
  set(_matrix ${CMAKE_CURRENT_LIST_DIR}/atomic_matrix.py)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_matrix})
  execute_process(COMMAND ${UPDATER_PYTHON3} ${_matrix} --list
    OUTPUT_VARIABLE _cases OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  foreach(case ${_cases})
    add_test(NAME atomic.${case}
      COMMAND ${UPDATER_PYTHON3} ${_matrix} $<TARGET_FILE:updater> $<TARGET_FILE:updater-reg>
        ${CMAKE_BINARY_DIR}/atomic_matrix ${case})
    set_tests_properties(atomic.${case} PROPERTIES
      FIXTURES_REQUIRED "nginx;faultserver" LABELS "e2e;atomic" TIMEOUT 180
      SKIP_RETURN_CODE 77 ENVIRONMENT "${UPDATER_E2E_ENVIRONMENT}")
  endforeach()
endif()
