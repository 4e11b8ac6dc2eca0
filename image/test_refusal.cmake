# Passes when the release check tool refuses a broken release file: a
# failing exit status and a message that names the broken rule.
#   -DTOOL=<program> -DRELEASE=<broken file> -DEXPECTED=<text> [-DEMULATOR=a|b]
string(REPLACE "|" ";" emulator "${EMULATOR}")
execute_process(COMMAND ${emulator} ${TOOL} ${RELEASE} RESULT_VARIABLE result ERROR_VARIABLE errors)
message("${errors}")
if(result EQUAL 0)
  message(FATAL_ERROR "the tool accepted ${RELEASE}")
endif()
string(FIND "${errors}" "${EXPECTED}" found)
if(found EQUAL -1)
  message(FATAL_ERROR "the tool's message does not say: ${EXPECTED}")
endif()
