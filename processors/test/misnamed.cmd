@echo off
rem Test processor: answers an array container whose second element has another name, so
rem that only the entries before the container are converted.
if not "%~1"=="-r" exit /b 9
if not "%~2"=="-i" exit /b 9
echo ^<?xml version="1.0" encoding="utf-8"?^>>"%~3"
echo ^<first^>kept^</first^>>>"%~3"
echo ^<second^>kept too^</second^>>>"%~3"
echo ^<fileArray^>^<file^>one.pdf^</file^>^<page^>wrong name^</page^>^</fileArray^>>>"%~3"
echo ^<after^>never reached^</after^>>>"%~3"
exit /b 0
