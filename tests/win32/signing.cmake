# For Windows: Authenticode signing of the built updater.exe with a throw-away
# certificate and a local time-stamp server, checked by osslsigncode verify.
find_program(UPDATER_PYTHON3 python3 REQUIRED)
find_program(UPDATER_OSSLSIGNCODE osslsigncode)
if(TARGET updater AND UPDATER_OSSLSIGNCODE)
  add_test(NAME win32.updater.signing
    COMMAND ${UPDATER_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/signing_test.py
            $<TARGET_FILE:updater> ${CMAKE_BINARY_DIR}/signing)
  set_tests_properties(win32.updater.signing PROPERTIES LABELS e2e TIMEOUT 120)
endif()
