# Every target of the project builds with the same strict warnings.
function(zelt20_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /utf-8)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
      -Wsign-conversion -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual -Wformat=2)
  endif()
  if(ZELT20_WERROR AND NOT MSVC)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
