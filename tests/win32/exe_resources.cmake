# For Windows: the application manifest and the version resource read back out
# of the built updater.exe (scripts/build-windows checks the shipped one too).
find_program(UPDATER_PYTHON3 python3 REQUIRED)
if(TARGET updater)
  add_test(NAME win32.updater.resources
    COMMAND ${UPDATER_PYTHON3} ${CMAKE_SOURCE_DIR}/scripts/lib/check-exe-resources
            $<TARGET_FILE:updater> ${UPDATER_VERSION})
  set_tests_properties(win32.updater.resources PROPERTIES LABELS e2e TIMEOUT 60)
endif()
