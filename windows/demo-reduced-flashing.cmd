@echo off
rem Plays the calmer show, its flashing held still, for viewers who must avoid flashing light.
cd /d "%~dp0"
start "" demo.exe --reduce-flashes
