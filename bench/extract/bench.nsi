; The same payload as a zlib installer of the installer builder users would otherwise pick; run
; silently (/S /D=...). CRC check off, so that its run is extraction only, as the stub's figure is.
Unicode true
Target amd64-unicode
SetCompressor zlib
CRCCheck off
RequestExecutionLevel user
Name "ExtractBench"
OutFile "${OUT}"
InstallDir "C:\bench\nsis"
SilentInstall silent

Section
  SetOutPath "$INSTDIR"
  !ifdef PAYLOAD
    File /r "${PAYLOAD}\*.*"
  !endif
SectionEnd
