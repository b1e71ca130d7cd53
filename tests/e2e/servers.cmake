# The HTTP servers of the end-to-end tests, started once per ctest run on free
# ports of 127.0.0.1 and stopped after the last test that needs them.
#
# Fixture `nginx`: static files from ${UPDATER_WWW_ROOT} (${CMAKE_BINARY_DIR}/www).
#   Each test writes its files into a folder of its own there, e.g.
#   www/<test name>/update.xml, and fetches http://127.0.0.1:<port>/<test name>/update.xml.
# Fixture `faultserver`: injected faults (dropped connection, short body, no
#   Content-Length, chunked, error pages, stall, trickle, redirect chain and
#   loop) and a log of the requests it saw; its paths are listed at the top of
#   servers/faultserver.py.
# The ports change every run: read them when the test runs, from
#   ${UPDATER_SERVERS_DIR}/nginx.port and ${UPDATER_SERVERS_DIR}/faultserver.port
#   (one decimal number and a line feed); the document root is also in
#   ${UPDATER_SERVERS_DIR}/nginx.root.
#
# A test file tests/e2e/<name>.cmake uses them so (the include comes first,
# since the .cmake files are read in name order):
#   include(${CMAKE_CURRENT_LIST_DIR}/servers.cmake)
#   add_test(NAME e2e.mine COMMAND ...)
#   set_tests_properties(e2e.mine PROPERTIES
#     FIXTURES_REQUIRED "nginx;faultserver" LABELS e2e
#     ENVIRONMENT "${UPDATER_E2E_ENVIRONMENT}")
# UPDATER_E2E_ENVIRONMENT keeps any proxy of the environment away from
# 127.0.0.1 and names the servers' folder (UPDATER_SERVERS_DIR).
include_guard(GLOBAL)

find_program(UPDATER_PYTHON3 python3 REQUIRED)
set(UPDATER_SERVERS_DIR ${CMAKE_BINARY_DIR}/servers)
set(UPDATER_WWW_ROOT ${CMAKE_BINARY_DIR}/www)
set(UPDATER_E2E_ENVIRONMENT
  "no_proxy=127.0.0.1,localhost"
  "NO_PROXY=127.0.0.1,localhost"
  "UPDATER_SERVERS_DIR=${UPDATER_SERVERS_DIR}")
set(_servers_src ${CMAKE_CURRENT_LIST_DIR}/servers)

add_test(NAME servers.nginx.start
  COMMAND ${UPDATER_PYTHON3} ${_servers_src}/nginx_ctl.py start
          --state-dir ${UPDATER_SERVERS_DIR} --root ${UPDATER_WWW_ROOT})
add_test(NAME servers.nginx.stop
  COMMAND ${UPDATER_PYTHON3} ${_servers_src}/nginx_ctl.py stop --state-dir ${UPDATER_SERVERS_DIR})
set_tests_properties(servers.nginx.start PROPERTIES FIXTURES_SETUP nginx LABELS servers TIMEOUT 60)
set_tests_properties(servers.nginx.stop PROPERTIES FIXTURES_CLEANUP nginx LABELS servers TIMEOUT 30)

add_test(NAME servers.faultserver.start
  COMMAND ${UPDATER_PYTHON3} ${_servers_src}/faultserver.py start --state-dir ${UPDATER_SERVERS_DIR})
add_test(NAME servers.faultserver.stop
  COMMAND ${UPDATER_PYTHON3} ${_servers_src}/faultserver.py stop --state-dir ${UPDATER_SERVERS_DIR})
set_tests_properties(servers.faultserver.start PROPERTIES
  FIXTURES_SETUP faultserver LABELS servers TIMEOUT 30)
set_tests_properties(servers.faultserver.stop PROPERTIES
  FIXTURES_CLEANUP faultserver LABELS servers TIMEOUT 30)
