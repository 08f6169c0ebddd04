# Writes the Unicode simple lower-case mapping as C++ table rows, one
# {code point, lower case} pair per character that has one, in code point order.
#   cmake -DINPUT=UnicodeData.txt -DOUTPUT=lower_case_table.inc -P LowerCaseTable.cmake
# Runs on the build machine, so the cross build gets the very same table.
if(NOT EXISTS "${INPUT}")
  message(FATAL_ERROR "${INPUT} is missing: install Debian's unicode-data (scripts/setup.sh)")
endif()

# Field 13 of a line is the simple lower-case mapping; keep only lines that have one.
string(REPEAT "[^;]*;" 12 fields)
file(STRINGS "${INPUT}" lines REGEX "^[0-9A-F]+;${fields}[0-9A-F]+;")

string(REPEAT "\\|[^|]*" 12 skip)
string(APPEND skip "\\|")
set(rows "")
set(count 0)
foreach(line IN LISTS lines)
  string(REPLACE ";" "|" line "${line}")  # a list separator would split the line
  string(REGEX MATCH "^([0-9A-F]+)" code "${line}")
  string(REGEX MATCH "^[0-9A-F]+${skip}([0-9A-F]+)\\|" unused "${line}")
  string(APPEND rows "{0x${code}, 0x${CMAKE_MATCH_1}},\n")
  math(EXPR count "${count} + 1")
endforeach()

if(count LESS 1000)
  message(FATAL_ERROR "${INPUT}: only ${count} lower-case mappings found; is it UnicodeData.txt?")
endif()

file(WRITE "${OUTPUT}" "// Generated from ${INPUT} by LowerCaseTable.cmake: do not edit.\n${rows}")
