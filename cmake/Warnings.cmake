# Every target of the project builds with the same strict warnings; they are
# errors with ZELT20_WERROR (our scripts). GCC 12 at -O3 warns falsely
# (-Wrestrict) where operator+ inserts text in front of a temporary
# std::string, so such text is built with append instead.
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
