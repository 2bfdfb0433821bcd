# Fuzzing tree (clang, libFuzzer): only the portable libraries and the harnesses of tests/fuzz, every
# object under AddressSanitizer and UndefinedBehaviorSanitizer with the fuzzer's coverage. Driven from
# the native tree, whose CTest run includes this tree's short runs.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "The fuzzing tree needs clang (-DCMAKE_CXX_COMPILER=clang++)")
endif()
add_compile_options(-Wall -Wextra -g -fno-omit-frame-pointer
                    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined)
add_link_options(-fsanitize=address,undefined)
