; The Windows installer of qarx-service.exe, built on Debian by the windows
; preset's target qarx-setup (cmake/windows_installer.cmake):
;   makensis -DQARX_VERSION=0.1.0.0 -DQARX_VERSION_MAJOR=0 -DQARX_VERSION_BUILD=1
;            -DQARX_VERSION_REVISION=0 -DQARX_VERSION_MINOR=0
;            -DQARX_EXE=<qarx-service.exe> -DQARX_OUTFILE=<setup.exe> qarx-service.nsi
; (QARX_VERSION is VersionMajor.VersionBuild.VersionRevision.VersionMinor.)
; Per machine: the program under Program Files, started in every user's
; session by the HKLM Run value, an uninstaller and an entry in the
; installed-programs list. /S installs and uninstalls silently.

Unicode true
; A 32-bit setup for the 32-bit program: it runs on 32-bit and 64-bit
; Windows, installs into the 32-bit Program Files folder and writes the
; registry's 32-bit view, where the service reads its own keys.
Target x86-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include LogicLib.nsh
!include StrFunc.nsh
${StrStr}

!define PRODUCT "Qarx Service"
!define PUBLISHER "Qarx Service developers"
!define EXE "qarx-service.exe"
!define UNINSTALLER "uninstall.exe"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "QarxService"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QarxService"
; Where the service program's own start-up check (and the update server's
; comparison) finds it installed and its version: the registry's 32-bit view.
!define SERVER_KEY "SOFTWARE\Veltrane\IC Card Terminal\Server"
; The service's own names (src/main/exit_signals_win32.cpp, src/app/qarx_service_app.h).
!define EXIT_EVENT "the Exit Event of the Veltrane IC Card Terminal Server!"
!define INSTANCE_MUTEX "the Mutex of the Veltrane IC Card Terminal Server!"
; Tenths of a second to wait for the service's end, and then for its file.
!define STOP_WAIT 100

Name "${PRODUCT}"
OutFile "${QARX_OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${QARX_VERSION}"
VIFileVersion "${QARX_VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${QARX_VERSION}"
VIAddVersionKey "ProductVersion" "${QARX_VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

; An update (the program is installed already) goes where the program is,
; without the folder page, and the window closes by itself when it is done:
; started by the service for an update, it asks nothing.
AutoCloseWindow true
Page directory SkipFolderWhenUpdating
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; 1 once StopService has ended a running service: the install starts the new
; program again.
Var ServiceWasRunning

; Ends the service of this session the way its tray menu's Exit does: sets
; its exit event, then waits until its single-instance mutex is gone, and
; then until its program file can be replaced or deleted.
!macro QARX_STOP_SERVICE un
Function ${un}StopService
  System::Call 'kernel32::OpenEventW(i 0x0002, i 0, w "${EXIT_EVENT}") p.r0'
  ${If} $0 P<> 0
    StrCpy $ServiceWasRunning 1
    DetailPrint "Ending the running ${PRODUCT}"
    System::Call 'kernel32::SetEvent(p r0)'
    System::Call 'kernel32::CloseHandle(p r0)'
  ${EndIf}
  StrCpy $1 0
  ${Do}
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${INSTANCE_MUTEX}") p.r0'
    ${If} $0 P= 0
      ${Break}
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r0)'
    IntOp $1 $1 + 1
    ${If} $1 >= ${STOP_WAIT}
      DetailPrint "${PRODUCT} did not end"
      ${Break}
    ${EndIf}
    Sleep 100
  ${Loop}
FunctionEnd

; Deletes the program file; a process that is ending still holds it for a
; moment. What stays in use (a service of another session) goes at the next
; restart.
Function ${un}DeleteProgram
  StrCpy $1 0
  ${Do}
    ClearErrors
    Delete "$INSTDIR\${EXE}"
    ${IfNot} ${Errors}
      ${Break}
    ${EndIf}
    IntOp $1 $1 + 1
    ${If} $1 >= ${STOP_WAIT}
      Delete /REBOOTOK "$INSTDIR\${EXE}"
      ${Break}
    ${EndIf}
    Sleep 100
  ${Loop}
FunctionEnd
!macroend
!insertmacro QARX_STOP_SERVICE ""
!insertmacro QARX_STOP_SERVICE "un."

; The install folder must be one that only administrators and the system can
; change: inside Program Files. The Run value starts the program in every
; user's session, administrators' included, and a folder elsewhere (say
; C:\Qarx) normally lets every user modify it, so that any user could
; replace the program. Such folders are refused (and none with "..").
Function IsProtectedFolder
  StrCpy $0 0
  ${StrStr} $1 "$INSTDIR" ".."
  ${If} $1 != ""
    Return
  ${EndIf}
  ${ForEach} $2 0 1 + 1
    ${If} $2 == 0
      StrCpy $3 "$PROGRAMFILES\"
    ${Else}
      StrCpy $3 "$PROGRAMFILES64\"
    ${EndIf}
    StrLen $4 $3
    StrCpy $5 "$INSTDIR\" $4
    ${If} $5 == $3
    ${AndIf} "$INSTDIR\" != $3
      StrCpy $0 1
    ${EndIf}
  ${Next}
FunctionEnd

; The folder page: Next only for a folder inside Program Files.
Function .onVerifyInstDir
  Call IsProtectedFolder
  ${If} $0 != 1
    Abort
  ${EndIf}
FunctionEnd

Function SkipFolderWhenUpdating
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
    Abort
  ${EndIf}
FunctionEnd

; An update goes where the program is. A folder given on the command line
; (/D=) or found so that is not inside Program Files: refused with exit
; status 2.
Function .onInit
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
    StrCpy $INSTDIR $0
  ${EndIf}
  Call IsProtectedFolder
  ${If} $0 != 1
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} installs only into a folder inside Program Files, which only administrators can change: $INSTDIR" /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
FunctionEnd

Section "Install"
  ; An installed service (an update or a repair) must let go of its file.
  Call StopService
  Call DeleteProgram
  SetOutPath "$INSTDIR"
  File "/oname=${EXE}" "${QARX_EXE}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ; Every user's session starts it from the next sign-in on (an update
  ; starts it again at its end, below).
  WriteRegStr HKLM "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\${EXE}"'

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${QARX_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\${EXE}",0'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  WriteRegDWORD HKLM "${SERVER_KEY}" "Installed" 1
  WriteRegDWORD HKLM "${SERVER_KEY}" "VersionMajor" ${QARX_VERSION_MAJOR}
  WriteRegDWORD HKLM "${SERVER_KEY}" "VersionBuild" ${QARX_VERSION_BUILD}
  WriteRegDWORD HKLM "${SERVER_KEY}" "VersionRevision" ${QARX_VERSION_REVISION}
  WriteRegDWORD HKLM "${SERVER_KEY}" "VersionMinor" ${QARX_VERSION_MINOR}

  ; An update ended the running service: the new one starts again in the
  ; signed-in user's session, as that user and without administrator rights.
  ; This setup may run elevated, even as another account (an administrator
  ; who typed their password for a standard user), so it does not start the
  ; program itself: it asks the user's Explorer to, which starts it as the
  ; desktop's user. A first install starts nothing: the Run value starts the
  ; program at the next sign-in.
  ${If} $ServiceWasRunning == 1
    DetailPrint "Starting ${PRODUCT} again"
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\${EXE}"'
  ${EndIf}
SectionEnd

Section "Uninstall"
  DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
  ; The service program's values and key; its parents only when nothing else
  ; (the browser control's key) is left in them.
  DeleteRegValue HKLM "${SERVER_KEY}" "Installed"
  DeleteRegValue HKLM "${SERVER_KEY}" "VersionMajor"
  DeleteRegValue HKLM "${SERVER_KEY}" "VersionBuild"
  DeleteRegValue HKLM "${SERVER_KEY}" "VersionRevision"
  DeleteRegValue HKLM "${SERVER_KEY}" "VersionMinor"
  DeleteRegKey /ifempty HKLM "${SERVER_KEY}"
  DeleteRegKey /ifempty HKLM "SOFTWARE\Veltrane\IC Card Terminal"
  DeleteRegKey /ifempty HKLM "SOFTWARE\Veltrane"
  Call un.StopService
  Call un.DeleteProgram
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  ; Last, so that whoever watches the list sees the entry go when all is done.
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
