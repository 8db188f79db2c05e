@echo off
rem Sample processor: keeps the request's parameters in the job file (after -r -i) and adds
rem who handled them and when.
if not "%~1"=="-r" exit /b 2
if not "%~2"=="-i" exit /b 2
if not exist "%~3" exit /b 2
echo ^<processedBy^>annotate^</processedBy^>>>"%~3"
echo ^<processedAt^>%DATE% %TIME%^</processedAt^>>>"%~3"
exit /b 0
