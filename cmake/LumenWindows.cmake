# Windows tree: MinGW-w64 (posix threads), windres, tests run through Wine in a prefix of this tree.
set(LUMEN_WINDOWS ON)
enable_language(RC)
add_compile_options(-Wall -Wextra)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
# Self-contained binaries: no MinGW runtime DLLs to carry beside them under Wine or on a host.
add_link_options(-static -static-libgcc -static-libstdc++)

set(LUMEN_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
configure_file(${CMAKE_SOURCE_DIR}/scripts/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)

# GoogleTest for MinGW, from the Debian sources.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Wine prefix set-up once per run, and the prefix's server and display stopped at the end.
add_test(NAME wine_prefix_setup COMMAND ${CMAKE_BINARY_DIR}/wine-run.sh --init)
set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
add_test(NAME wine_prefix_shutdown COMMAND ${CMAKE_BINARY_DIR}/wine-run.sh --shutdown)
set_tests_properties(wine_prefix_shutdown PROPERTIES FIXTURES_CLEANUP wine)

# Version header for the libraries' VERSIONINFO resources.
set(LUMEN_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_SOURCE_DIR}/resources/LumenVersion.h.in ${LUMEN_GENERATED_DIR}/LumenVersion.h)
