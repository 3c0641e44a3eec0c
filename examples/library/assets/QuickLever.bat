@echo off
rem QuickLever.bat: renders the process document of the folder this file is in.
rem Double-click it, or run it from a console in the process folder.
rem The folder name begins with the document number ("QL-WI-0010 - Pump Start_Stop"),
rem so the number is the name up to the first blank.
setlocal
for %%I in ("%~dp0.") do set "FOLDER=%%~nxI"
for /f "tokens=1 delims= " %%N in ("%FOLDER%") do set "NUMBER=%%N"
pushd "%~dp0.."
where morvalen >nul 2>nul
if errorlevel 1 (
    echo morvalen was not found on the PATH. Install it, or copy morvalen.exe into the library root.
    if not exist morvalen.exe goto :done
)
echo Rendering %NUMBER% in %CD%
morvalen -v -p "%NUMBER%"
if errorlevel 1 echo Rendering failed with exit status %ERRORLEVEL%.
:done
popd
endlocal
pause
