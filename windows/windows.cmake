# Windows build settings, read right after the project() call of the top-level
# CMakeLists (CMAKE_PROJECT_INCLUDE), so the program builds from its own build
# files. Expects CMAKE_PREFIX_PATH to hold the static SDL of
# scripts/build-sdl.sh windows.

include(${CMAKE_CURRENT_LIST_DIR}/../cmake/static-sdl.cmake)

# One file that runs on a bare Windows: no compiler runtime DLLs beside it,
# and no symbol table.
# A console program, so that its messages reach a console it is started from.
# No link time in its header, so that the same sources give the same file.
add_link_options(-static -static-libgcc -static-libstdc++ -mconsole -s -Wl,--no-insert-timestamp)
# The link map names every library the link took code from, for the
# release's third-party notices (scripts/pack-release.sh).
add_link_options(-Wl,-Map=${CMAKE_BINARY_DIR}/demo.map)

# The icon, version information and manifest, compiled with windres into the
# program once the top-level CMakeLists has defined it.
enable_language(RC)
set(windows_dir ${CMAKE_CURRENT_LIST_DIR})
configure_file(${windows_dir}/demo.rc.in ${CMAKE_BINARY_DIR}/demo.rc @ONLY)
cmake_language(DEFER CALL target_sources demo PRIVATE ${CMAKE_BINARY_DIR}/demo.rc)
