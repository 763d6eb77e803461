; The Windows setup program of VLD Resource Viewer (NSIS 3, makensis).
; makensis /DVERSION=2.6 /DOUTFILE=... /DVIEWER=... /DTOOL=... /DREADME=... /DLICENCE=... /DICON=... installer.nsi
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh

!define APP "VLD Resource Viewer"
!define PROGID "VLDResourceViewer.Bundle"
!define UNINSTKEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VLDResourceViewer"
!define APPKEY "Software\VLD\VLD Resource Viewer\Install"

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
; An administrator installs for everyone into Program Files; anyone else into
; their own programs folder, without being asked to elevate.
RequestExecutionLevel highest
InstallDir "$PROGRAMFILES64\${APP}"
BrandingText "${APP} ${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\vldviewer.exe"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENCE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${APP}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${APP} setup"
VIAddVersionKey "CompanyName" "VLD Resource Viewer developers"
VIAddVersionKey "LegalCopyright" "VLD Resource Viewer developers"

Var ForAll

!macro ChooseScope
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    StrCpy $ForAll 1
    SetShellVarContext all
  ${Else}
    StrCpy $ForAll 0
    SetShellVarContext current
  ${EndIf}
!macroend

Function .onInit
  SetRegView 64
  !insertmacro ChooseScope
  ${If} $ForAll == 0
    StrCpy $INSTDIR "$LOCALAPPDATA\Programs\${APP}"
  ${EndIf}
FunctionEnd

Section "Install"
  SetOutPath "$INSTDIR"
  File "/oname=vldviewer.exe" "${VIEWER}"
  File "/oname=vldtool.exe" "${TOOL}"
  File "/oname=README.txt" "${README}"
  File "/oname=LICENCE.txt" "${LICENCE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortCut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\vldviewer.exe" "" "$INSTDIR\vldviewer.exe" 0

  ; Bundles: .lab opens with the viewer; .m4b, which other programs use too,
  ; only gets the viewer as an "Open with" choice.
  WriteRegStr SHCTX "Software\Classes\${PROGID}" "" "Resource bundle"
  WriteRegStr SHCTX "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\vldviewer.exe,0"
  WriteRegStr SHCTX "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\vldviewer.exe" "%1"'
  ReadRegStr $0 SHCTX "Software\Classes\.lab" ""
  ${If} $0 != "${PROGID}"
    WriteRegStr SHCTX "${APPKEY}" "PreviousLab" "$0"
  ${EndIf}
  WriteRegStr SHCTX "Software\Classes\.lab" "" "${PROGID}"
  WriteRegStr SHCTX "Software\Classes\.lab\OpenWithProgids" "${PROGID}" ""
  WriteRegStr SHCTX "Software\Classes\.m4b\OpenWithProgids" "${PROGID}" ""
  WriteRegStr SHCTX "Software\Classes\Applications\vldviewer.exe\shell\open\command" "" '"$INSTDIR\vldviewer.exe" "%1"'
  WriteRegStr SHCTX "Software\Classes\Applications\vldviewer.exe\SupportedTypes" ".lab" ""
  WriteRegStr SHCTX "Software\Classes\Applications\vldviewer.exe\SupportedTypes" ".m4b" ""

  WriteRegStr SHCTX "${UNINSTKEY}" "DisplayName" "${APP}"
  WriteRegStr SHCTX "${UNINSTKEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTKEY}" "Publisher" "VLD Resource Viewer developers"
  WriteRegStr SHCTX "${UNINSTKEY}" "DisplayIcon" "$INSTDIR\vldviewer.exe,0"
  WriteRegStr SHCTX "${UNINSTKEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTKEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTKEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTKEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTKEY}" "NoRepair" 1
  ; Tell the shell that file associations changed.
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Function un.onInit
  SetRegView 64
  !insertmacro ChooseScope
FunctionEnd

Section "Uninstall"
  Delete "$INSTDIR\vldviewer.exe"
  Delete "$INSTDIR\vldtool.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENCE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${APP}.lnk"

  ; .lab goes back to what it opened with before, if it still opens with us.
  ReadRegStr $0 SHCTX "Software\Classes\.lab" ""
  ${If} $0 == "${PROGID}"
    ReadRegStr $1 SHCTX "${APPKEY}" "PreviousLab"
    ${If} $1 == ""
      DeleteRegValue SHCTX "Software\Classes\.lab" ""
    ${Else}
      WriteRegStr SHCTX "Software\Classes\.lab" "" "$1"
    ${EndIf}
  ${EndIf}
  DeleteRegValue SHCTX "Software\Classes\.lab\OpenWithProgids" "${PROGID}"
  DeleteRegKey /ifempty SHCTX "Software\Classes\.lab\OpenWithProgids"
  DeleteRegKey /ifempty SHCTX "Software\Classes\.lab"
  DeleteRegValue SHCTX "Software\Classes\.m4b\OpenWithProgids" "${PROGID}"
  DeleteRegKey /ifempty SHCTX "Software\Classes\.m4b\OpenWithProgids"
  DeleteRegKey /ifempty SHCTX "Software\Classes\.m4b"
  DeleteRegKey SHCTX "Software\Classes\${PROGID}"
  DeleteRegKey SHCTX "Software\Classes\Applications\vldviewer.exe"
  DeleteRegKey SHCTX "${APPKEY}"
  DeleteRegKey /ifempty SHCTX "Software\VLD\VLD Resource Viewer"
  DeleteRegKey /ifempty SHCTX "Software\VLD"
  DeleteRegKey SHCTX "${UNINSTKEY}"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
