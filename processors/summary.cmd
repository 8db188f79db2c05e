@echo off
rem Sample processor: replaces the job file (after -r -i) with a summary of what it
rem received: its size.
if not "%~1"=="-r" exit /b 2
if not "%~2"=="-i" exit /b 2
if not exist "%~3" exit /b 2
set bytes=%~z3
echo ^<?xml version="1.0" encoding="utf-8"?^>>"%~3"
echo ^<receivedBytes^>%bytes%^</receivedBytes^>>>"%~3"
echo ^<status^>ok^</status^>>>"%~3"
exit /b 0
