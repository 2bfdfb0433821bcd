# Native (Linux) tree: portable code under the sanitizers, native tools, and the Windows tree as a
# sub-build so that one CTest run covers both.
set(LUMEN_NATIVE ON)
option(LUMEN_SANITIZE "Build native code with AddressSanitizer and UndefinedBehaviorSanitizer" ON)
option(LUMEN_WITH_WINDOWS "Also build the Windows tree (MinGW-w64) and run its tests under Wine" ON)
option(LUMEN_WITH_FUZZ "Also build the libFuzzer harnesses with clang and run each briefly" ON)

add_compile_options(-Wall -Wextra -Wpedantic)
if(LUMEN_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

find_package(GTest REQUIRED)
find_package(benchmark QUIET)
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

if(LUMEN_WITH_WINDOWS)
  include(ExternalProject)
  set(LUMEN_WIN_BINARY_DIR ${CMAKE_BINARY_DIR}/win)
  ExternalProject_Add(windows_tree
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${LUMEN_WIN_BINARY_DIR}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
      -DLUMEN_NATIVE_BINARY_DIR=${CMAKE_BINARY_DIR}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    USES_TERMINAL_BUILD ON)
  # The Windows tests join this tree's CTest run.
  file(WRITE ${CMAKE_BINARY_DIR}/WindowsTests.cmake "subdirs(\"${LUMEN_WIN_BINARY_DIR}\")\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_BINARY_DIR}/WindowsTests.cmake)
endif()

if(LUMEN_WITH_FUZZ)
  find_program(LUMEN_CLANG clang)
  find_program(LUMEN_CLANGXX clang++)
  if(NOT LUMEN_CLANG OR NOT LUMEN_CLANGXX)
    message(FATAL_ERROR "Fuzzing needs clang and libclang-rt (scripts/install-deps.sh), or -DLUMEN_WITH_FUZZ=OFF")
  endif()
  include(ExternalProject)
  set(LUMEN_FUZZ_BINARY_DIR ${CMAKE_BINARY_DIR}/fuzz)
  ExternalProject_Add(fuzz_tree
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${LUMEN_FUZZ_BINARY_DIR}
    CMAKE_ARGS
      -DCMAKE_C_COMPILER=${LUMEN_CLANG}
      -DCMAKE_CXX_COMPILER=${LUMEN_CLANGXX}
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
      -DLUMEN_FUZZ=ON
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    USES_TERMINAL_BUILD ON)
  # The short fuzzing runs join this tree's CTest run.
  file(WRITE ${CMAKE_BINARY_DIR}/FuzzTests.cmake "subdirs(\"${LUMEN_FUZZ_BINARY_DIR}\")\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_BINARY_DIR}/FuzzTests.cmake)
endif()
