# Web build settings, read right after the project() call of the top-level
# CMakeLists (CMAKE_PROJECT_INCLUDE), so the program builds from its own
# build files. Expects CMAKE_PREFIX_PATH to hold the SDL of scripts/build-sdl.sh web
# and DEMO_DADA_DIR to name the generated assets.

include(${CMAKE_CURRENT_LIST_DIR}/../cmake/static-sdl.cmake)

if(NOT IS_DIRECTORY "${DEMO_DADA_DIR}")
  message(FATAL_ERROR "DEMO_DADA_DIR must name the generated dada folder")
endif()

# Lists of names go through files: "$" and parentheses do not survive the
# build tool's quoting.
file(WRITE ${CMAKE_BINARY_DIR}/library-funcs.txt "$autoResumeAudioContext\n$dynCall\n")
# The stacks at the program's yields: each frame's wait, and the turns it
# gives the page in start-up and in making the textures anew after the WebGL
# context came back. At -O2 and above the optimiser inlines some into others,
# and Asyncify warns that it does not find them.
file(WRITE ${CMAKE_BINARY_DIR}/asyncify-only.txt
  "main\ndemoMain(int, char**)\ninitPlatform()\nloadMedia()\nloadTextures()\nrunMainLoop()\nrunPass()\nhandleInput()\nrecoverRenderDevice()\nyieldToBrowser()\nwaitForNextFrame()\n")

# The files each link takes code from, for the site's third-party notices.
set(keepLinkTrace ${CMAKE_CURRENT_LIST_DIR}/keep-link-trace.sh)

# The program and the page's music decoder link differently; their settings
# go on once the top-level CMakeLists has made the program's target.
cmake_language(DEFER CALL demo_web_targets)

function(demo_web_targets)
  set_target_properties(demo PROPERTIES
    CXX_LINKER_LAUNCHER "${keepLinkTrace};${CMAKE_BINARY_DIR}/linked-files.txt")
  target_link_options(demo PRIVATE
    -Wl,--trace
    # The main loop suspends itself after each pass until the browser's next
    # animation frame; only the functions on the stack at that moment are rewritten.
    -sASYNCIFY
    -sASYNCIFY_ONLY=@${CMAKE_BINARY_DIR}/asyncify-only.txt
    # The program's own wait for the next frame (src/shell/platform_web.cpp) is one of them.
    "SHELL:-sASYNCIFY_IMPORTS=[waitForAnimationFrame]"
    # SDL2 built outside Emscripten's ports uses these from its JavaScript.
    -sDEFAULT_LIBRARY_FUNCS_TO_INCLUDE=@${CMAKE_BINARY_DIR}/library-funcs.txt
    -sUSE_SDL=0
    -sALLOW_MEMORY_GROWTH=1
    # The page makes one instance per showing and starts it on a click.
    -sMODULARIZE=1
    -sEXPORT_NAME=createDemo
    -sINVOKE_RUN=0
    -sEXIT_RUNTIME=1
    # The page hands the music file of the assets to its decoder.
    "SHELL:-sEXPORTED_RUNTIME_METHODS=[callMain,FS]"
    -sENVIRONMENT=web
    # The page's content policy lets no script make code from text.
    -sDYNAMIC_EXECUTION=0
    # The assets, under the relative path the program reads.
    "SHELL:--preload-file ${DEMO_DADA_DIR}@/dada")

  # The page's workers decode the music and the images with the program's own
  # decoders, off the page's thread (web/music-worker.js, web/image-worker.js).
  # SDL_mixer's Ogg decoder is compiled anew with the push API, from the
  # header scripts/build-sdl.sh installs beside SDL's; it is not ours to warn about.
  demo_web_decoder(music-decoder createMusicDecoder _decodeMusicBytes SDL2::SDL2
    music_decoder.cpp stb_vorbis_push.c)
  set_source_files_properties(${CMAKE_SOURCE_DIR}/src/web/stb_vorbis_push.c
    TARGET_DIRECTORY music-decoder PROPERTIES COMPILE_OPTIONS -w)
  demo_web_decoder(image-decoder createImageDecoder _decodeImage SDL2_image::SDL2_image
    image_decoder.cpp image_bmp.cpp)
endfunction()

# A decoder of the page's: a small program of its own from source files of
# src/web (the rest of the call), run in a worker, that exports its one function.
function(demo_web_decoder name exportName function library)
  list(TRANSFORM ARGN PREPEND ${CMAKE_SOURCE_DIR}/src/web/)
  add_executable(${name} ${ARGN})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PRIVATE ${library} SDL2::SDL2)
  set_target_properties(${name} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
    CXX_LINKER_LAUNCHER "${keepLinkTrace};${CMAKE_BINARY_DIR}/${name}-linked-files.txt")
  target_link_options(${name} PRIVATE
    -Wl,--trace
    -sUSE_SDL=0
    -sALLOW_MEMORY_GROWTH=1
    -sMODULARIZE=1
    -sEXPORT_NAME=${exportName}
    "SHELL:-sEXPORTED_FUNCTIONS=[${function},_malloc,_free]"
    "SHELL:-sEXPORTED_RUNTIME_METHODS=[HEAPU8]"
    -sENVIRONMENT=worker)
endfunction()
