@echo off
rem Test processor: leaves the job file (after -r -i) as it is and succeeds.
if not "%~1"=="-r" exit /b 9
if not "%~2"=="-i" exit /b 9
if not exist "%~3" exit /b 9
exit /b 0
