# For Windows: tests/e2e/release_test.py under Wine: the Windows updater-manifest
# makes the release from folders with Chinese names, minisign on the build
# machine signs it, updater.exe installs it and dialog_probe (of
# updater_wine.cmake, read before this file) closes its dialog.
include(${CMAKE_CURRENT_LIST_DIR}/../e2e/servers.cmake)

find_program(UPDATER_MINISIGN minisign)
if(TARGET updater AND TARGET dialog_probe AND TARGET updater-manifest AND UPDATER_MINISIGN)
  math(EXPR _bits "${CMAKE_SIZEOF_VOID_P} * 8")
  add_test(NAME win32.release.installs_new
    COMMAND ${UPDATER_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/../e2e/release_test.py --wine
      ${UPDATER_WINE} $<TARGET_FILE:updater> $<TARGET_FILE:dialog_probe>
      $<TARGET_FILE:updater-manifest> ${CMAKE_BINARY_DIR}/wine-e2e ${_bits})
  set_tests_properties(win32.release.installs_new PROPERTIES
    FIXTURES_REQUIRED "nginx;faultserver" LABELS "e2e;wine" TIMEOUT 240
    ENVIRONMENT "${UPDATER_E2E_ENVIRONMENT}")
endif()
