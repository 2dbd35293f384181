# Windows build settings, read right after the project() call of the top-level
# CMakeLists (CMAKE_PROJECT_INCLUDE), so the program builds from its own build
# files. Expects CMAKE_PREFIX_PATH to hold the static SDL of
# scripts/build-sdl.sh windows.

# The static SDL_image and SDL_mixer packages export only "-static" targets;
# the project links the plain names, as SDL2's own package provides them.
find_package(SDL2 REQUIRED CONFIG)
find_package(SDL2_image REQUIRED CONFIG)
find_package(SDL2_mixer REQUIRED CONFIG)
foreach(library SDL2_image SDL2_mixer)
  if(NOT TARGET ${library}::${library})
    add_library(${library}::${library} ALIAS ${library}::${library}-static)
  endif()
endforeach()

# One file that runs on a bare Windows: no compiler runtime DLLs beside it,
# and no symbol table.
# A console program, so that its messages reach a console it is started from.
add_link_options(-static -static-libgcc -static-libstdc++ -mconsole -s)
