# Included by run_fuzz.sh at the end of the project's project() call
# (CMAKE_PROJECT_INCLUDE), so that the fuzz target links against the library
# exactly as the project builds it, with every dependency it declares.
# Everything is instrumented for coverage; only the target links libFuzzer.

add_compile_options(-fsanitize=fuzzer-no-link)

set(QZ_FUZZ_SOURCE ${CMAKE_CURRENT_LIST_DIR}/fuzz_gfx.cpp)

function(qz_add_fuzz_target)
  add_executable(fuzz_gfx ${QZ_FUZZ_SOURCE})
  target_link_libraries(fuzz_gfx PRIVATE qzgfx_internal)
  target_link_options(fuzz_gfx PRIVATE -fsanitize=fuzzer)
endfunction()

# The library is defined later in the top-level file: add the target once
# that file has been read.
cmake_language(DEFER CALL qz_add_fuzz_target)
