@echo off
rem convert.bat: converts a text file into a script of the same name with
rem .cfg, written beside the text (hello.txt gives hello.cfg). Drop a text
rem file on this file, or run it in a console:  convert.bat FILE
rem More options for tallsay, for instance:  set "OPTIONS=--line-len=100 --no-name"
set "OPTIONS="

if "%~1"=="" goto usage
set "TEXT=%~f1"
set "SCRIPT=%~dpn1.cfg"
"%~dp0tallsay.exe" "--in-file=%TEXT%" "--out-file=%SCRIPT%" %OPTIONS%
if errorlevel 1 goto failed
echo The text
echo "%TEXT%"
echo is now the script
echo "%SCRIPT%"
rem Dropped on this file, the window closes at the end: the player reads
rem first.
echo Press a key to close this window.
pause >nul
exit /b 0

:usage
echo Drop a text file on convert.bat, or run:  convert.bat FILE
echo The script of the same name with .cfg is then written beside the text.
goto wait

:failed
echo.
echo tallsay stopped: the line above says why.
:wait
echo Press a key to close this window.
pause >nul
exit /b 1
