# A release end to end (release_test.py): updater-manifest release over two
# folders into a folder nginx serves, signed by minisign, installed by the real
# updater in console mode.
include(${CMAKE_CURRENT_LIST_DIR}/servers.cmake)

find_program(UPDATER_MINISIGN minisign)
if(TARGET updater AND TARGET updater-reg AND TARGET updater-manifest AND UPDATER_MINISIGN)
  add_test(NAME e2e.release.installs_new
    COMMAND ${UPDATER_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/release_test.py $<TARGET_FILE:updater>
      $<TARGET_FILE:updater-reg> $<TARGET_FILE:updater-manifest>)
  set_tests_properties(e2e.release.installs_new PROPERTIES
    FIXTURES_REQUIRED "nginx;faultserver" LABELS e2e TIMEOUT 120
    ENVIRONMENT "${UPDATER_E2E_ENVIRONMENT}")
endif()
