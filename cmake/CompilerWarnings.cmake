# morvik_warnings(<target>): the project's warning set, fatal when MORVIK_WERROR is on.
function(morvik_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${MORVIK_WERROR}>:/WX>)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
      -Wsign-conversion -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual
      $<$<BOOL:${MORVIK_WERROR}>:-Werror>)
  endif()
endfunction()
