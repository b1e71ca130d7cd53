# Signed manifests end to end (signed_manifest_test.py): the real updater in
# console mode against nginx and the fault server, keys and signatures made by
# minisign.
include(${CMAKE_CURRENT_LIST_DIR}/servers.cmake)

find_program(UPDATER_MINISIGN minisign)
if(TARGET updater AND TARGET updater-reg AND UPDATER_MINISIGN)
  set(_signed ${CMAKE_CURRENT_LIST_DIR}/signed_manifest_test.py)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_signed})
  execute_process(COMMAND ${UPDATER_PYTHON3} ${_signed} --list
    OUTPUT_VARIABLE _cases OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  foreach(case ${_cases})
    add_test(NAME e2e.signed_manifest.${case}
      COMMAND ${UPDATER_PYTHON3} ${_signed} $<TARGET_FILE:updater> $<TARGET_FILE:updater-reg>
        ${case})
    set_tests_properties(e2e.signed_manifest.${case} PROPERTIES
      FIXTURES_REQUIRED "nginx;faultserver" LABELS e2e TIMEOUT 60 ENVIRONMENT "${UPDATER_E2E_ENVIRONMENT}")
  endforeach()
endif()
