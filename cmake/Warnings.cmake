# Strict warnings for our own targets only.
function(quorvik_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
