@echo off
rem Test processor: deletes the job file (after -r -i) and succeeds.
if not "%~1"=="-r" exit /b 9
if not "%~2"=="-i" exit /b 9
del "%~3"
exit /b 0
