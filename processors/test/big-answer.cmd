@echo off
rem Test processor: leaves the file named by VTPS_BIG_ANSWER as its answer, whatever its size.
if not "%~1"=="-r" exit /b 9
if not "%~2"=="-i" exit /b 9
copy /y "%VTPS_BIG_ANSWER%" "%~3" >nul
