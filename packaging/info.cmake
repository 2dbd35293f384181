# The release's info file, info.txt in the build folder: one text for every
# platform, with the platform's own parts filled in (how to start the program,
# what it needs, the line ends its editors expect).
if(WIN32)
  set(info_platform Windows)
  set(info_running [=[
  Double-click demo.exe in this folder. The program reads its assets from
  the dada folder in its working directory, which is this folder when it is
  started by a double-click.
  To see its messages, start it from a console instead:
    open a Command Prompt or PowerShell, cd to this folder, then run  demo.exe]=])
  set(info_reduced [=[
  Double-click demo-reduced-flashing.cmd in this folder, or start
  demo.exe --reduce-flashes from a console.]=])
  set(info_requirements [=[
  Windows 10 or later, 64-bit (x86-64), with a graphics driver (Direct3D or
  OpenGL). Nothing else needs to be installed: demo.exe holds everything.]=])
  set(info_line_ends CRLF)
  # configure_file sets the line ends of the template's lines only.
  foreach(part info_running info_reduced info_requirements)
    string(REPLACE "\n" "\r\n" ${part} "${${part}}")
  endforeach()
else()
  set(info_platform Linux)
  set(info_running [=[
  Unpack, then from this folder:  ./demo
  The program reads its assets from dada/ in the working directory, so start
  it from here.]=])
  set(info_reduced [=[
  From this folder:  ./demo --reduce-flashes]=])
  set(info_requirements [=[
  Linux x86-64 with glibc 2.34 or later (Debian 12, Ubuntu 22.04, Fedora 35
  and later) and its C++ runtime (libstdc++ of GCC 9 or later), an OpenGL
  driver (Mesa or a vendor driver) and a display. Nothing else needs to be
  installed: SDL2, SDL2_image and SDL2_mixer come along in lib/.]=])
  set(info_line_ends UNIX)
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/info.txt.in ${CMAKE_BINARY_DIR}/info.txt @ONLY
  NEWLINE_STYLE ${info_line_ends})
