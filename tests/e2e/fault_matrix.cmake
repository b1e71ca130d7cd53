# The fault matrix (fault_matrix.py): the real updater in console mode against
# the test servers, one ctest test per case, label "faults". Each case leaves
# its verdict in ${CMAKE_BINARY_DIR}/fault_matrix/<case>.txt for the figures
# scripts/test prints; a case that needs a mount the machine does not allow
# is skipped.
include(${CMAKE_CURRENT_LIST_DIR}/servers.cmake)

if(TARGET updater AND TARGET updater-reg)
  # The atomic matrix (atomic_matrix.py, label "atomic") runs its own cases
  # through the same driver.
  foreach(_set "fault_matrix;faults" "atomic_matrix;atomic")
    list(GET _set 0 _name)
    list(GET _set 1 _prefix)
    set(_matrix ${CMAKE_CURRENT_LIST_DIR}/${_name}.py)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_matrix})
    execute_process(COMMAND ${UPDATER_PYTHON3} ${_matrix} --list
      OUTPUT_VARIABLE _cases OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    foreach(case ${_cases})
      add_test(NAME ${_prefix}.${case}
        COMMAND ${UPDATER_PYTHON3} ${_matrix} $<TARGET_FILE:updater> $<TARGET_FILE:updater-reg>
          ${CMAKE_BINARY_DIR}/${_name} ${case})
      set_tests_properties(${_prefix}.${case} PROPERTIES
        FIXTURES_REQUIRED "nginx;faultserver" LABELS "e2e;${_prefix}" TIMEOUT 180
        SKIP_RETURN_CODE 77 ENVIRONMENT "${UPDATER_E2E_ENVIRONMENT}")
    endforeach()
  endforeach()
endif()
