@echo off
rem Test processor: replaces the job file (after -r -i) with a fixed answer: strings, a
rem sub-dictionary and an array container.
if not "%~1"=="-r" exit /b 9
if not "%~2"=="-i" exit /b 9
echo ^<?xml version="1.0" encoding="utf-8"?^>>"%~3"
echo ^<status^>done^</status^>>>"%~3"
echo ^<pages^>3^</pages^>>>"%~3"
echo ^<info^>^<title^>Fixed answer^</title^>^<author^>VTPS tests^</author^>^</info^>>>"%~3"
echo ^<fileArray^>^<file^>one.pdf^</file^>^<file^>two.pdf^</file^>^</fileArray^>>>"%~3"
exit /b 0
