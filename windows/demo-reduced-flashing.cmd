@echo off
rem Plays the show with its flashing damped, for viewers who must avoid flashing light.
cd /d "%~dp0"
start "" demo.exe --reduce-flashes
