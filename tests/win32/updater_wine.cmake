# For Windows: updater.exe under Wine, driven from the outside: the "Please
# install" box, an "-auto" run against nginx whose dialog is read by a second
# Win32 program (dialog_probe) and photographed, and a run of every action
# type on a GBK installation folder.
include(${CMAKE_CURRENT_LIST_DIR}/../e2e/servers.cmake)

add_executable(dialog_probe ${CMAKE_CURRENT_LIST_DIR}/dialog_probe.c)
target_link_libraries(dialog_probe PRIVATE comctl32 ole32 uuid uxtheme)

if(TARGET updater)
  set(_wine_work ${CMAKE_BINARY_DIR}/wine-e2e)
  math(EXPR _bits "${CMAKE_SIZEOF_VOID_P} * 8")
  foreach(case not_installed auto_run gbk_actions atomic_rolled_back atomic_killed files_in_use
      decoy_program zip_names dpi_layout resume)
    add_test(NAME win32.updater.${case}
      COMMAND ${UPDATER_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/updater_wine_test.py ${case}
              --wine ${UPDATER_WINE} --updater $<TARGET_FILE:updater>
              --probe $<TARGET_FILE:dialog_probe> --test-window $<TARGET_FILE:test_window>
              --work ${_wine_work} --bits ${_bits})
    set_tests_properties(win32.updater.${case} PROPERTIES
      FIXTURES_REQUIRED "nginx;faultserver" LABELS "e2e;wine" TIMEOUT 180
      ENVIRONMENT "${UPDATER_E2E_ENVIRONMENT}")
  endforeach()
  # Each runs the updater at every position of the atomic manifest.
  set_tests_properties(win32.updater.atomic_rolled_back win32.updater.atomic_killed
    PROPERTIES TIMEOUT 420)
endif()
