@echo off
rem Test processor: writes an answer into the job file (after -r -i), then fails with 3.
if not "%~1"=="-r" exit /b 9
if not "%~2"=="-i" exit /b 9
echo ^<?xml version="1.0" encoding="utf-8"?^>>"%~3"
echo ^<status^>failed^</status^>>>"%~3"
echo ^<reason^>exit 3^</reason^>>>"%~3"
exit /b 3
