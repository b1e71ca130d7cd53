# The install steps of scripts/test and scripts/build-windows against a mirror
# whose i386 index is missing, with stand-ins for apt-get and dpkg.
add_test(NAME ci.package_mirror
  COMMAND ${UPDATER_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/package_mirror_test.py ${CMAKE_SOURCE_DIR})
set_tests_properties(ci.package_mirror PROPERTIES LABELS e2e TIMEOUT 300)
