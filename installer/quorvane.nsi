; The per-user installer of Quorvane, built by scripts/package with
;   makensis -DVERSION=<the file VERSION> -DEXE=<quorvane.exe> -DOUTFILE=<setup.exe> installer/quorvane.nsi
;
; It needs no administrator rights: the program goes to
; %LOCALAPPDATA%\Programs\Quorvane, where the automatic update can replace
; quorvane.exe as the same user. The settings, layouts and logs in
; %APPDATA%\Quorvane belong to the user; neither the installer nor the
; uninstaller touches that folder.

!ifndef VERSION | EXE | OUTFILE
  !error "makensis needs -DVERSION=, -DEXE= and -DOUTFILE= (scripts/package gives them)"
!endif

Unicode true
; The program is x64 only, and so is the installer (it runs where a 32-bit
; subsystem is missing, as in a 64-bit-only Wine).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh

!define PRODUCT "Quorvane"
!define PUBLISHER "Zentrik"
; HKCU form of the uninstall entry, Microsoft Learn "Uninstall Registry Key" (Windows Installer docs).
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvane"
; Microsoft Learn "Run and RunOnce Registry Keys"; the value name is the program's (src/base/Elevation.h kRunValue).
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "Quorvane"
; The tray window's class and the registered quit message, as the program
; creates them (src/ui/TrayController.h kWindowClass, src/ui/TrayController.cpp).
!define TRAY_CLASS "QuorvaneTray"
!define QUIT_MESSAGE "Quorvane_Quit"
; How long a running instance gets to end (it finishes recordings first).
!define QUIT_TIMEOUT_MS 20000

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "© ${PUBLISHER}"

!define MUI_ICON "${__FILEDIR__}\..\res\quorvane.ico"
!define MUI_UNICON "${__FILEDIR__}\..\res\quorvane.ico"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\quorvane.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT}"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; Ends the running instance of this user through its tray window's quit
; message and waits for its process to be gone. Aborts, with a message
; (silent: none), when it is still running after the time-out, since its
; program file cannot be replaced or removed then.
!macro END_RUNNING_INSTANCE un
Function ${un}EndRunningInstance
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  ; RegisterWindowMessageW (Microsoft Learn, winuser.h): the same name gives the program's message id.
  System::Call 'user32::RegisterWindowMessageW(w "${QUIT_MESSAGE}") i .r1'
  FindWindow $0 "${TRAY_CLASS}"
  ${If} $0 P<> 0
  ${AndIf} $1 <> 0
    DetailPrint "Ending the running ${PRODUCT}"
    StrCpy $2 0
    ; GetWindowThreadProcessId (Microsoft Learn, winuser.h): the process id behind the window.
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r2) i'
    ; OpenProcess with SYNCHRONIZE = 0x00100000 (Microsoft Learn "Standard Access Rights").
    System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r2) p .r3'
    ; PostMessageW (Microsoft Learn, winuser.h).
    System::Call 'user32::PostMessageW(p r0, i r1, p 0, p 0) i'
    ${If} $3 P<> 0
      ; WaitForSingleObject returns WAIT_OBJECT_0 = 0 once the process has ended (Microsoft Learn, synchapi.h).
      System::Call 'kernel32::WaitForSingleObject(p r3, i ${QUIT_TIMEOUT_MS}) i .r4'
      ; CloseHandle (Microsoft Learn, handleapi.h).
      System::Call 'kernel32::CloseHandle(p r3) i'
    ${Else}
      ; No handle to wait on: wait for the window to go instead.
      StrCpy $4 0
      ${Do}
        FindWindow $0 "${TRAY_CLASS}"
        ${IfThen} $0 P= 0 ${|} ${Break} ${|}
        Sleep 200
        IntOp $4 $4 + 200
      ${LoopUntil} $4 >= ${QUIT_TIMEOUT_MS}
    ${EndIf}
    FindWindow $0 "${TRAY_CLASS}"
    ${If} $0 P<> 0
      MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} is still running and did not close. Quit it from its tray icon, then run this again." /SD IDOK
      SetErrorLevel 3
      Quit
    ${EndIf}
  ${EndIf}
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro END_RUNNING_INSTANCE ""
!insertmacro END_RUNNING_INSTANCE "un."

Section "Install"
  Call EndRunningInstance
  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "/oname=quorvane.exe" "${EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The same name the program gives its own Start menu entry (src/app/Application.h kShortcutFile).
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\quorvane.exe" "" "$INSTDIR\quorvane.exe" 0 \
    SW_SHOWNORMAL "" "Keyboard-driven multi-monitor control"

  ; Value names from Microsoft Learn "Uninstall Registry Key".
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quorvane.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Call un.EndRunningInstance
  ; Only the files this installer put there, and the folder once it is
  ; empty: never a recursive removal, so nothing else is lost.
  Delete "$INSTDIR\quorvane.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
