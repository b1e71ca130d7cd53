# The console front-end end to end: tests/e2e/console_test.py against a
# sandbox with its own registry and HTTP server.
foreach(case
    auto_without_input_runs_one_update_and_exits
    not_installed_prints_the_message_and_exits
    other_command_lines_stay_idle
    each_enter_runs_the_same_update_again
    message_box_is_printed_and_the_run_goes_on
    output_nobody_reads_does_not_stop_the_update
    terminal_draws_the_bars_in_place)
  add_test(NAME console.${case}
    COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/console_test.py
      $<TARGET_FILE:updater> $<TARGET_FILE:updater-reg> ${case})
  set_tests_properties(console.${case} PROPERTIES LABELS e2e TIMEOUT 120)
endforeach()

add_test(NAME demo.manifest_lints_clean
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/demo_manifest_test.py
    $<TARGET_FILE:updater-reg> $<TARGET_FILE:updater-manifest>)
set_tests_properties(demo.manifest_lints_clean PROPERTIES LABELS e2e TIMEOUT 60)
