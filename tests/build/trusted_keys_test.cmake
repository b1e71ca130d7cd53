# UPDATER_TRUSTED_KEYS read as a configure reads it: each key file of the table
# gives its literals or stops with its message.
#   cmake -DSOURCE_DIR=<repo> -DWORK_DIR=<scratch> -P trusted_keys_test.cmake
# Run with -DKEYS_FILE=<file> it reads one file and prints the literals.
include(${SOURCE_DIR}/cmake/trusted_keys.cmake)
if(DEFINED KEYS_FILE)
  updater_trusted_keys_literals(${KEYS_FILE} literals)
  message("${literals}")
  return()
endif()

set(key "RWQf6LRCGA9i53mlYecO4IzT51TGPpvWucNSCh1CBM0QTaLn73Y7GFO3")
set(cases
  "pub file|untrusted comment: minisign public key 1\n${key}\n|0|\"${key}\","
  "two keys, blanks|\n  ${key}  \n\n${key}\n|0|\"${key}\",\n\"${key}\","
  "comment only|untrusted comment: minisign public key 1\n|1|no minisign public key in"
  "empty|\n|1|no minisign public key in"
  "secret key line|RWRTY0Iyz5DI3dOr/5Vm9WkHyGgg0d6YQyC8dYnnFzlBwWUJHmjN8w5OCoJJcMBfcV8Q3HRc\n|1|not a minisign public key"
  "one character short|RWQf6LRCGA9i53mlYecO4IzT51TGPpvWucNSCh1CBM0QTaLn73Y7GFO\n|1|not a minisign public key"
  "not base64|RWQf6LRCGA9i53mlYecO4IzT51TGPpvWucNSCh1CBM0QTaLn73Y7GF-3\n|1|not a minisign public key")
file(MAKE_DIRECTORY ${WORK_DIR})
set(failed 0)
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 0 name)
  list(GET fields 1 content)
  list(GET fields 2 status)
  list(GET fields 3 expected)
  string(REPLACE "\\n" "\n" content "${content}")
  string(REPLACE "\\n" "\n" expected "${expected}")
  file(WRITE ${WORK_DIR}/keys.txt "${content}")
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${SOURCE_DIR}
      -DKEYS_FILE=${WORK_DIR}/keys.txt -P ${CMAKE_CURRENT_LIST_FILE}
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(result EQUAL 0)
    set(got 0)
  else()
    set(got 1)
  endif()
  string(FIND "${out}${err}" "${expected}" at)
  if(NOT got EQUAL status OR at EQUAL -1)
    message(SEND_ERROR "${name}: status ${result}, expected ${status} and \"${expected}\":\n${out}${err}")
    set(failed 1)
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "trusted key files read wrongly")
endif()
