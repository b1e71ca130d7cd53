# For Windows: the release cases of tests/e2e/release_test.py under Wine: the
# Windows updater-manifest makes the release from folders with Chinese names,
# minisign on the build machine signs it, and updater.exe installs it; the
# dialog is closed by dialog_probe (of updater_wine.cmake, read before this
# file) after the run.
include(${CMAKE_CURRENT_LIST_DIR}/../e2e/servers.cmake)

find_program(UPDATER_MINISIGN minisign)
if(TARGET updater AND TARGET dialog_probe AND TARGET updater-manifest AND UPDATER_MINISIGN)
  set(_release ${CMAKE_CURRENT_LIST_DIR}/../e2e/release_test.py)
  math(EXPR _bits "${CMAKE_SIZEOF_VOID_P} * 8")
  execute_process(COMMAND ${UPDATER_PYTHON3} ${_release} --list
    OUTPUT_VARIABLE _cases OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  foreach(case ${_cases})
    add_test(NAME win32.release.${case}
      COMMAND ${UPDATER_PYTHON3} ${_release} --wine ${UPDATER_WINE} $<TARGET_FILE:updater>
        $<TARGET_FILE:dialog_probe> $<TARGET_FILE:updater-manifest> ${CMAKE_BINARY_DIR}/wine-e2e
        ${_bits} ${case})
    set_tests_properties(win32.release.${case} PROPERTIES
      FIXTURES_REQUIRED "nginx;faultserver" LABELS "e2e;wine" TIMEOUT 240
      ENVIRONMENT "${UPDATER_E2E_ENVIRONMENT}")
  endforeach()
endif()
