# The keys of UPDATER_TRUSTED_KEYS as C string literals, one a line. The file
# holds minisign public keys one a line; blank lines and minisign's
# "untrusted comment:" lines are passed over. Anything else, and a file without
# a key (it would build a client that checks nothing), stops the configure.
function(updater_trusted_keys_literals file out_var)
  file(STRINGS ${file} _key_lines)
  set(_literals "")
  foreach(_line IN LISTS _key_lines)
    string(STRIP "${_line}" _line)
    if(_line STREQUAL "" OR _line MATCHES "^untrusted comment:")
      continue()
    endif()
    # 42 bytes in base64, no padding: "Ed", the key id and the Ed25519 key.
    string(LENGTH "${_line}" _length)
    if(NOT _line MATCHES "^RW[A-Za-z0-9+/]+$" OR NOT _length EQUAL 56)
      message(FATAL_ERROR "UPDATER_TRUSTED_KEYS: not a minisign public key: ${_line}")
    endif()
    string(APPEND _literals "\"${_line}\",\n")
  endforeach()
  if(_literals STREQUAL "")
    message(FATAL_ERROR "UPDATER_TRUSTED_KEYS: no minisign public key in ${file}")
  endif()
  set(${out_var} "${_literals}" PARENT_SCOPE)
endfunction()
