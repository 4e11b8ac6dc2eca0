# Passes when the generator, run afresh, writes the stored stand-in release
# byte for byte.
#   -DGENERATOR=<program> -DSTORED=<stored file> -DOUTPUT=<scratch file> [-DEMULATOR=a|b]
string(REPLACE "|" ";" emulator "${EMULATOR}")
file(REMOVE ${OUTPUT})
execute_process(COMMAND ${emulator} ${GENERATOR} ${OUTPUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the generator failed (${result})")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT} ${STORED} RESULT_VARIABLE differs)
if(NOT differs EQUAL 0)
  message(FATAL_ERROR "the regenerated stand-in ${OUTPUT} differs from the stored ${STORED}")
endif()
