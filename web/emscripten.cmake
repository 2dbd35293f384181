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
# The stack at the program's yield. At -O2 and above the optimiser inlines the
# inner two into main, and Asyncify warns that it does not find them.
file(WRITE ${CMAKE_BINARY_DIR}/asyncify-only.txt "main\ndemoMain(int, char**)\nrunMainLoop()\n")

# The files the link takes code from, for the site's third-party notices.
set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_CURRENT_LIST_DIR}/keep-link-trace.sh
  ${CMAKE_BINARY_DIR}/linked-files.txt)

add_link_options(
  -Wl,--trace
  # The main loop suspends itself after each pass until the browser's next
  # animation frame; only the functions on the stack at that moment are rewritten.
  -sASYNCIFY
  -sASYNCIFY_ONLY=@${CMAKE_BINARY_DIR}/asyncify-only.txt
  # The program's own wait for the next frame (main_loop.cpp) is one of them.
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
  # The page has the program decode the music from its assets, to play it itself.
  "SHELL:-sEXPORTED_RUNTIME_METHODS=[callMain,ccall]"
  -sENVIRONMENT=web
  # The assets, under the relative path the program reads.
  "SHELL:--preload-file ${DEMO_DADA_DIR}@/dada")
