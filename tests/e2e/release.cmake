# Releases end to end (release_test.py): updater-manifest release over two
# folders into a folder nginx serves, signed by minisign, installed by the real
# updater in console mode.
include(${CMAKE_CURRENT_LIST_DIR}/servers.cmake)

find_program(UPDATER_MINISIGN minisign)
if(TARGET updater AND TARGET updater-reg AND TARGET updater-manifest AND UPDATER_MINISIGN)
  set(_release ${CMAKE_CURRENT_LIST_DIR}/release_test.py)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_release})
  execute_process(COMMAND ${UPDATER_PYTHON3} ${_release} --list
    OUTPUT_VARIABLE _cases OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  foreach(case ${_cases})
    add_test(NAME e2e.release.${case}
      COMMAND ${UPDATER_PYTHON3} ${_release} $<TARGET_FILE:updater> $<TARGET_FILE:updater-reg>
        $<TARGET_FILE:updater-manifest> ${case})
    set_tests_properties(e2e.release.${case} PROPERTIES
      FIXTURES_REQUIRED "nginx;faultserver" LABELS e2e TIMEOUT 120
      ENVIRONMENT "${UPDATER_E2E_ENVIRONMENT}")
  endforeach()
endif()
