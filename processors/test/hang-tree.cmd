@echo off
rem Test processor: never ends by itself. Runs the tree-sleeper (VTPS_TREE_SLEEPER), which
rem starts a child of its own and writes both ids to VTPS_TREE_IDS.
if not "%~1"=="-r" exit /b 9
if not "%~2"=="-i" exit /b 9
"%VTPS_TREE_SLEEPER%" "%VTPS_TREE_IDS%" 60
