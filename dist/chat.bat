@echo off
rem chat.bat: every line typed here becomes the game's script, in tall
rem letters, until an empty line. Double-click it, or run it in a console.
rem
rem The script is written next to this file, as chat.cfg. To have it written
rem straight into the game's folder, put its full path after SCRIPT= below,
rem for instance:  set "SCRIPT=C:\Program Files (x86)\MyGame\cfg\chat.cfg"
set "SCRIPT=%~dp0chat.cfg"
rem More options for tallsay, for instance:  set "OPTIONS=--line-len=100 --no-name"
set "OPTIONS="

for %%F in ("%SCRIPT%") do set "FOLDER=%%~dpF"
if exist "%FOLDER%" goto run
echo The folder of the script does not exist:
echo "%FOLDER%"
echo Open chat.bat in Notepad and correct the line set "SCRIPT=... near its top.
echo Press a key to close this window.
pause >nul
exit /b 1

:run
echo Type a line and press Enter: then the script
echo "%SCRIPT%"
echo holds it in tall letters. Bind a key in the game to run that script.
echo An empty line ends.
"%~dp0tallsay.exe" "--out-file=%SCRIPT%" %OPTIONS%
if errorlevel 1 goto failed
exit /b 0

:failed
echo.
echo tallsay stopped: the line above says why. Press a key to close this window.
pause >nul
exit /b 1
