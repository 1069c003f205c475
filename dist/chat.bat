@echo off
rem chat.bat: every line typed here becomes the game's script, in tall
rem letters, until an empty line. Double-click it, or run it in a console.
rem
rem The script is written next to this file, as chat.cfg. To have it written
rem straight into the game's folder, put its full path after SCRIPT= below,
rem for instance:  set "SCRIPT=C:\Games\MyGame\cfg\chat.cfg"
set "SCRIPT=%~dp0chat.cfg"
rem More options for tallsay, for instance:  set "OPTIONS=--line-len=100 --no-name"
set "OPTIONS="

echo Type a line and press Enter: %SCRIPT% then holds it in tall letters.
echo Bind a key in the game to run that script. An empty line ends.
"%~dp0tallsay.exe" "--out-file=%SCRIPT%" %OPTIONS%
if errorlevel 1 (
  echo.
  echo tallsay stopped: the line above says why. Press a key to close this window.
  pause >nul
  exit /b 1
)
