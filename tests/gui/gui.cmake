# The GTK dialog under Xvfb (tests/gui/dialog_test.py). Screenshots are kept in
# build/tests/artifacts.
foreach(case update_click auto_start window_menu_opens_the_about_box not_installed)
  add_test(NAME gui.${case}
    COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/gui/dialog_test.py
      $<TARGET_FILE:updater> $<TARGET_FILE:updater-reg> ${CMAKE_BINARY_DIR}/tests/artifacts
      ${case})
  set_tests_properties(gui.${case} PROPERTIES LABELS gui TIMEOUT 120)
endforeach()
