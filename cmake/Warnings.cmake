# Strict warnings for our own targets only. -Werror only where we choose it
# (scripts/build.sh and CI turn QUORVIK_WERROR on): a newer or older compiler
# than ours may warn where we do not, and must not stop a user's build.
option(QUORVIK_WERROR "Treat compiler warnings as errors" OFF)
function(quorvik_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra $<$<BOOL:${QUORVIK_WERROR}>:-Werror>)
endfunction()
