# Included by run_fuzz.sh at the end of the project's project() call
# (CMAKE_PROJECT_INCLUDE), so that the fuzz targets link against the library
# exactly as the project builds it, with every dependency it declares.
# Everything is instrumented for coverage; only the targets link libFuzzer:
# fuzz_gfx for the graphics stack, fuzz_png for the PNG loader.

add_compile_options(-fsanitize=fuzzer-no-link)

set(QZ_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})

function(qz_add_fuzz_target)
  foreach(target fuzz_gfx fuzz_png)
    add_executable(${target} ${QZ_FUZZ_DIR}/${target}.cpp)
    target_link_libraries(${target} PRIVATE qzgfx_internal)
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  endforeach()
endfunction()

# The library is defined later in the top-level file: add the target once
# that file has been read.
cmake_language(DEFER CALL qz_add_fuzz_target)
