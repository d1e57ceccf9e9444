# Strict warnings for our own targets only. -Werror only where we choose it
# (scripts/build.sh and CI turn QUORVIK_WERROR on): a newer or older compiler
# than ours may warn where we do not, and must not stop a user's build.
option(QUORVIK_WERROR "Treat compiler warnings as errors" OFF)
# GCC 12 warns falsely with -Wrestrict inside std::string's operator+ at -O3
# (GCC bug 105329, fixed in 13): off there, so that Release builds stay quiet.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  set(QUORVIK_GCC12_FLAGS -Wno-restrict)
endif()
function(quorvik_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra ${QUORVIK_GCC12_FLAGS}
    $<$<BOOL:${QUORVIK_WERROR}>:-Werror>)
endfunction()
