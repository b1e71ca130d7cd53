# For Windows: writes texts_rc.h, the constants of env/texts.h as macros that
# updater.rc can use, so the dialog's words stay in one place.
#   cmake -DTEXTS=<texts.h> -DOUT=<texts_rc.h> -P texts_rc.cmake
file(STRINGS ${TEXTS} lines ENCODING UTF-8 REGEX "inline constexpr char k[A-Za-z]+\\[\\] = \".*\";")
set(out "// Generated from env/texts.h by texts_rc.cmake.\n")
foreach(line ${lines})
  string(REGEX REPLACE ".*char (k[A-Za-z]+)\\[\\] = (\".*\");.*" "#define \\1 \\2" define "${line}")
  string(APPEND out "${define}\n")
  # The installed-version label as the template shows it before the version
  # is filled in.
  if(line MATCHES "kCurrentVersionFormat\\[\\] = \"(.*)%s\"")
    string(APPEND out "#define kCurrentVersionLabel \"${CMAKE_MATCH_1}\"\n")
  endif()
endforeach()
file(WRITE ${OUT}.tmp "${out}")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${OUT}.tmp ${OUT})
