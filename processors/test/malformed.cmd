@echo off
rem Test processor: leaves malformed XML in the job file (after -r -i).
if not "%~1"=="-r" exit /b 9
if not "%~2"=="-i" exit /b 9
echo ^<?xml version="1.0" encoding="utf-8"?^>>"%~3"
echo ^<status^>unclosed>>"%~3"
exit /b 0
