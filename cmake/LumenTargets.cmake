# Helpers that every folder uses to declare its libraries and tests the same way in both trees.

# lumen_portable_library(name SOURCES ... [DEPS ...]): domain code without any Windows header,
# compiled in both trees (tested natively, linked into the DLLs in the Windows tree).
function(lumen_portable_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
endfunction()

# lumen_unit_test(name SOURCES ... [DEPS ...]): native GoogleTest program under the sanitizers.
function(lumen_unit_test name)
  if(NOT LUMEN_NATIVE)
    return()
  endif()
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main Threads::Threads)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS unit)
endfunction()

# lumen_wine_test(name SOURCES ... [DEPS ...] [COPY_BESIDE files...] [TIMEOUT s]): Windows GoogleTest
# program run under Wine; COPY_BESIDE lists target names whose files are placed in the test's folder
# (the module, the language library, the emulator's bus library as Nxjbus.dll ...).
function(lumen_wine_test name)
  if(NOT LUMEN_WINDOWS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} gtest gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS wine FIXTURES_REQUIRED wine
                                          RESOURCE_LOCK wine_desktop)
endfunction()
