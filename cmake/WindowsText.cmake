# Writes a UTF-8 text file the way Notepad on a Chinese Windows reads it:
# code page 936, lines ending in CR LF. A character code page 936 lacks stops
# the build rather than turning into a question mark.
#   cmake -DIN=guide.md -DOUT=guide.txt -DICONV=/usr/bin/iconv -P WindowsText.cmake
file(READ "${IN}" text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUT}.utf-8" "${text}")
execute_process(COMMAND "${ICONV}" -f UTF-8 -t CP936 "${OUT}.utf-8"
  OUTPUT_FILE "${OUT}.part" ERROR_VARIABLE error RESULT_VARIABLE result)
file(REMOVE "${OUT}.utf-8")
if(NOT result EQUAL 0)
  file(REMOVE "${OUT}.part")
  message(FATAL_ERROR "${IN} does not fit code page 936: ${error}")
endif()
file(RENAME "${OUT}.part" "${OUT}")
