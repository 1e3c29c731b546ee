// Types and constants shared by every subsystem: package kinds, the dialog's
// private messages, the window-system message numbers the core routes, and the
// per-package download settings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qarx {

// The number of an installable package, carried in WM_DOWNLOAD_REQUEST.
enum PackageKind : int32_t {
  kPackageCcid = 1,      // CCID reader driver, section "CCID"
  kPackageControl = 2,   // browser control, section "Control"
  kPackageServer = 3,    // service program, section "Server"
  kPackageFirmware = 4,  // terminal firmware update tool, section named by the model
};

// Window-system message numbers (as Windows numbers them).
inline constexpr uint32_t WM_PAINT = 15;
inline constexpr uint32_t WM_QUERYENDSESSION = 17;
inline constexpr uint32_t WM_ENDSESSION = 22;
inline constexpr uint32_t WM_QUERYDRAGICON = 55;
inline constexpr uint32_t WM_NCPAINT = 133;
inline constexpr uint32_t WM_INITDIALOG = 272;
inline constexpr uint32_t WM_COMMAND = 273;
inline constexpr uint32_t WM_TIMER = 275;
inline constexpr uint32_t WM_LBUTTONDOWN = 513;
inline constexpr uint32_t WM_RBUTTONDOWN = 516;
inline constexpr uint32_t WM_USER = 1024;
inline constexpr uint32_t WM_APP = 0x8000;
// The shell's "TaskbarCreated" (a restarted taskbar: icons must be added
// again). Windows numbers it at run time; a front-end that has a shell passes
// it on under this number.
inline constexpr uint32_t WM_TASKBAR_CREATED = WM_APP + 2;

// The dialog's private messages.
inline constexpr uint32_t WM_DOWNLOAD_REQUEST = WM_USER + 101;  // 1125
inline constexpr uint32_t WM_TRAY_NOTIFY = WM_USER + 102;       // 1126
inline constexpr uint32_t WM_READER_EVENT = WM_USER + 200;      // 1224

// WM_READER_EVENT codes (wParam).
enum ReaderEvent : uintptr_t {
  kReaderArrived = 0,
  kWatcherEnded = 1,
  kCardInserted = 2,
  kCardRemoved = 3,
};

// Command identifiers: controls of the dialog template and menu entries.
inline constexpr uint32_t IDOK = 1;
inline constexpr uint32_t IDCANCEL = 2;
inline constexpr uint32_t IDC_SYSINFO = 1000;
inline constexpr uint32_t IDC_BROWSER = 1001;
inline constexpr uint32_t IDC_ACTIVITY_LOG = 1003;
inline constexpr uint32_t IDC_CCIDINFO = 1004;
inline constexpr uint32_t IDC_DOWNLOAD = 1005;
inline constexpr uint32_t IDC_INSTALLINFO = 1006;
inline constexpr uint32_t IDC_CHECKUPDATE = 1007;
inline constexpr uint32_t IDC_PROGRESS = 1008;
inline constexpr uint32_t IDC_STATUS = 1009;
inline constexpr uint32_t ID_MENU_OPEN = 1127;
inline constexpr uint32_t ID_MENU_EXIT = 1128;
inline constexpr uint32_t ID_MENU_MAXIMIZE = 1129;
inline constexpr uint32_t ID_MENU_MINIMIZE = 1130;
inline constexpr uint32_t ID_MENU_HIDE = 1131;

inline constexpr uint32_t IDD_QARXSERVICE_DIALOG = 102;
inline constexpr uint32_t IDR_MAINFRAME = 128;  // application icon, also the tray icon's id

// Show codes.
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOWMINIMIZED = 2;
inline constexpr int SW_SHOWMAXIMIZED = 3;
inline constexpr int SW_SHOWNOACTIVATE = 4;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_MINIMIZE = 6;
inline constexpr int SW_SHOWMINNOACTIVE = 7;
inline constexpr int SW_SHOWNA = 8;
inline constexpr int SW_RESTORE = 9;

// System metrics: icon sizes.
inline constexpr int SM_CXICON = 11;
inline constexpr int SM_CYICON = 12;
inline constexpr int SM_CXSMICON = 49;
inline constexpr int SM_CYSMICON = 50;

// Message box styles and answers.
inline constexpr uint32_t MB_OK = 0x0;
inline constexpr uint32_t MB_YESNO = 0x4;
inline constexpr uint32_t MB_ICONQUESTION = 0x20;
inline constexpr uint32_t MB_ICONWARNING = 0x30;
inline constexpr uint32_t MB_SYSTEMMODAL = 0x1000;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;
// (IDOK = 1 doubles as the OK answer of a message box.)

// Fixed buffer sizes, in UTF-16 code units or bytes as named.
inline constexpr size_t kMaxPath = 260;         // paths, including the terminator
inline constexpr size_t kUrlCapacity = 1024;    // URLs, including the terminator
inline constexpr size_t kRegValueBytes = 256;   // registry value reads
inline constexpr size_t kReadPieceBytes = 1024; // one read from a connection

// The line that closes a group of log lines: 47 '-'.
inline constexpr std::u16string_view kSeparatorLine =
    u"-----------------------------------------------";

inline constexpr std::u16string_view kQuestionCaption = u"Veltrane服务程序提示";
inline constexpr std::u16string_view kWarningCaption = u"Veltrane服务程序";
inline constexpr std::u16string_view kErrorCaption = u"Error";

// Name of the local copy of the update configuration in the temporary folder.
inline constexpr std::u16string_view kConfigFileName = u"VLT_Terminal_SetupConfig.ini";

// Download settings of one package kind.
struct PackageInfo {
  std::u16string URL;  // at most kUrlCapacity - 1 code units
  int32_t Size = 0;    // KB
  uint32_t VersionMajor = 0;
  uint32_t VersionBuild = 0;
  uint32_t VersionRevision = 0;
  uint32_t VersionMinor = 0;
  // The "SHA256" key as read: the package's digest in hex. Empty when the
  // section vouches for nothing, and the package is then taken as it comes.
  std::u16string SHA256;
};

}  // namespace qarx
