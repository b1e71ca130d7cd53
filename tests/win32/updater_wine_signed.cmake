# For Windows: the signed-manifest cases of tests/e2e/signed_manifest_test.py
# against updater.exe under Wine, keys and signatures made by minisign on the
# build machine, the dialog closed by dialog_probe (of updater_wine.cmake, read
# before this file) after each run.
include(${CMAKE_CURRENT_LIST_DIR}/../e2e/servers.cmake)

find_program(UPDATER_MINISIGN minisign)
if(TARGET updater AND TARGET dialog_probe AND UPDATER_MINISIGN)
  set(_signed ${CMAKE_CURRENT_LIST_DIR}/../e2e/signed_manifest_test.py)
  math(EXPR _bits "${CMAKE_SIZEOF_VOID_P} * 8")
  execute_process(COMMAND ${UPDATER_PYTHON3} ${_signed} --list --wine
    OUTPUT_VARIABLE _cases OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  foreach(case ${_cases})
    add_test(NAME win32.signed_manifest.${case}
      COMMAND ${UPDATER_PYTHON3} ${_signed} --wine ${UPDATER_WINE} $<TARGET_FILE:updater>
        $<TARGET_FILE:dialog_probe> ${CMAKE_BINARY_DIR}/wine-e2e ${_bits} ${case})
    set_tests_properties(win32.signed_manifest.${case} PROPERTIES
      FIXTURES_REQUIRED "nginx;faultserver" LABELS "e2e;wine" TIMEOUT 240
      ENVIRONMENT "${UPDATER_E2E_ENVIRONMENT}")
  endforeach()
endif()
