# Instrumentation for the fuzz targets of fuzz/: libFuzzer's coverage, AddressSanitizer and
# UndefinedBehaviorSanitizer on every target, so that the fuzzers see into the units. Any
# finding stops the run. Needs clang.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "TIDEMARK_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
                    -D_GLIBCXX_ASSERTIONS)
add_link_options(-fsanitize=address,undefined)
