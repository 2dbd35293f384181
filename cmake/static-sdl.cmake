# The static SDL of scripts/build-sdl.sh, found through CMAKE_PREFIX_PATH, for
# the web and Windows builds. Its SDL_image and SDL_mixer packages export only
# "-static" targets; the project links the plain names, as SDL2's own package
# provides them.
find_package(SDL2 REQUIRED CONFIG)
find_package(SDL2_image REQUIRED CONFIG)
find_package(SDL2_mixer REQUIRED CONFIG)
foreach(library SDL2_image SDL2_mixer)
  if(NOT TARGET ${library}::${library})
    add_library(${library}::${library} ALIAS ${library}::${library}-static)
  endif()
endforeach()
