# updater-reg end to end: one ctest per case of registry_tool.sh, each with its
# own registry folder.
foreach(case product_key query_layout roots bad_input delete export_import bad_reg_files
        protected_hives concurrent_writers)
  add_test(NAME registry_tool_${case}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/registry_tool.sh $<TARGET_FILE:updater-reg> ${case})
  set_tests_properties(registry_tool_${case} PROPERTIES LABELS e2e TIMEOUT 120)
endforeach()

# The unit tests of the installed version run the tool once, as an installer would.
add_dependencies(unit_tests updater-reg)
