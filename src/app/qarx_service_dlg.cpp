#include "app/qarx_service_dlg.h"

#include <memory>
#include <new>

#include "app/qarx_service_app.h"
#include "firmware/firmware_check_job.h"
#include "terminal/reader_monitor.h"
#include "terminal/reader_slot.h"

namespace qarx {

std::vector<MenuItem> TrayMenuItems() {
  return {{ID_MENU_OPEN, u"打开"}, {},
          {ID_MENU_MINIMIZE, u"最小化"}, {ID_MENU_HIDE, u"隐藏"}, {},
          {ID_MENU_EXIT, u"退出"}};
}

CQarxServiceDlg::CQarxServiceDlg(Platform& platform, uint32_t timerPeriodMs)
    : platform_(platform), timerPeriodMs_(timerPeriodMs) {}

CQarxServiceDlg::~CQarxServiceDlg() = default;

int CQarxServiceDlg::DoModal() {
  const int result = platform_.ui->RunModal(*this);
  ended_ = true;
  return result;
}

intptr_t CQarxServiceDlg::WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  CQarxServiceDlg* mainWnd = AfxGetMainWnd();
  // Any program of the desktop can post to the dialog: only an arrival that
  // names a slot of the table that the monitor claimed is one.
  ReaderSlot* slot = message == WM_READER_EVENT && wParam == kReaderArrived ? ClaimedReaderSlot(lParam) : nullptr;
  if (slot) {
    auto request = std::shared_ptr<FirmwareCheckRequest>(new (std::nothrow) FirmwareCheckRequest);
    // Without a record no job can run; the arrival is dropped.
    if (request) {
      request->dialog = mainWnd;
      request->slot = slot;
      platform_.threads->StartDetached([request] { FirmwareCheckJob(*request); });
    }
  }

  // The message table.
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog() ? 1 : 0;
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_NCPAINT:
      OnNcPaint();
      return 0;
    case WM_QUERYDRAGICON:
      return OnQueryDragIcon();
    case WM_COMMAND:
      // Notification code 0 only: a click or a menu choice.
      if ((wParam >> 16) == 0) OnCommand(static_cast<uint32_t>(wParam & 0xFFFF));
      return 0;
    case WM_TIMER:
      OnTimer(wParam);
      return 0;
    case WM_DOWNLOAD_REQUEST:
      return OnDownloadRequest(wParam, lParam);
    case WM_TRAY_NOTIFY:
      return OnTrayNotify(wParam, lParam);
    case WM_TASKBAR_CREATED:
      OnTaskbarCreated();
      return 0;
    case WM_ENDSESSION:
      // The user signs out or the PC shuts down: leave as the tray menu's
      // Exit does, while there is still time to.
      if (wParam != 0) ExitService();
      return 0;
    default:
      return 0;
  }
}

void CQarxServiceDlg::OnCommand(uint32_t id) {
  switch (id) {
    case IDC_SYSINFO: OnSysInfo(); break;
    case IDC_BROWSER: OnBrowser(); break;
    case IDC_CCIDINFO: OnCcidInfo(); break;
    case IDC_DOWNLOAD: OnDownloadButton(); break;
    case IDC_INSTALLINFO: OnInstallInfo(); break;
    case IDC_CHECKUPDATE: OnCheckUpdate(); break;
    case ID_MENU_OPEN: ShowWindow(SW_SHOWNORMAL); break;
    case ID_MENU_EXIT: ExitService(); break;
    case ID_MENU_MAXIMIZE: ShowWindow(SW_SHOWMAXIMIZED); break;
    case ID_MENU_MINIMIZE: ShowWindow(SW_SHOWMINIMIZED); break;
    case ID_MENU_HIDE: OnCancel(); break;
    case IDOK: OnOK(); break;
    case IDCANCEL: OnCancel(); break;
    default: break;
  }
}

bool CQarxServiceDlg::OnInitDialog() {
  // The controls exist and are bound by now (the front-end built the template).
  platform_.ui->SetIcon(m_hIcon, true);
  platform_.ui->SetIcon(m_hIcon, false);
  m_bTimerReady = 1;
  ResetDialogState();
  PublishReaderEventWindow(this);
  StartReaderMonitor(platform_);
  platform_.ui->SetTimer(kTimerId, timerPeriodMs_);
  // Exit chosen before the run began (a signal at start-up): the front-end
  // forgets an end requested before its run, so it is requested again.
  if (Ended()) platform_.ui->EndModal(IDCANCEL);
  return true;
}

void CQarxServiceDlg::ResetDialogState() {
  m_nOsMajorVersion = 1;
  {
    std::lock_guard lock(packagesLock_);
    // The kinds that have a default address; the firmware tool's record
    // belongs to the last terminal checked.
    for (const PackageKindRow& kind : kPackageKinds) {
      if (kind.defaultPath.empty()) continue;
      PackageInfo& p = m_packages[PackageKindIndex(kind)];
      p.Size = 0;
      p.VersionMajor = p.VersionBuild = p.VersionRevision = p.VersionMinor = 0;
    }
  }
  m_nTrayRefCount = 0;
  bool alreadyExisted = false;
  m_hTrayMutex = platform_.mutexes->Create(std::u16string(kTrayMutexName), false, alreadyExisted);
  m_bDownloading = 0;
  ShowWindow(SW_HIDE);
  {
    std::lock_guard lock(packagesLock_);
    for (const PackageKindRow& kind : kPackageKinds)
      if (!kind.defaultPath.empty())
        m_packages[PackageKindIndex(kind)].URL = platform_.endpoints.updateServer + std::u16string(kind.defaultPath);
  }
  platform_.ui->ListResetContent();
  platform_.ui->SetProgressRange(0, 100);
  platform_.ui->SetProgressStep(1);
  platform_.ui->SetProgressPos(0);
}

void CQarxServiceDlg::OnPaint() {
  if (!platform_.ui->IsIconic()) return;  // the dialog's normal painting
  int width = 0;
  int height = 0;
  platform_.ui->GetClientSize(width, height);
  const int iconWidth = platform_.ui->GetSystemMetrics(SM_CXICON);
  const int iconHeight = platform_.ui->GetSystemMetrics(SM_CYICON);
  platform_.ui->DrawIcon((width - iconWidth + 1) / 2, (height - iconHeight + 1) / 2);
}

void CQarxServiceDlg::OnNcPaint() {
  if (m_bDownloading == 0) ShowWindow(SW_HIDE);
}

intptr_t CQarxServiceDlg::OnTrayNotify(uintptr_t wParam, intptr_t lParam) {
  if (wParam != IDR_MAINFRAME) return 0;
  if (lParam == WM_LBUTTONDOWN) {
    ShowWindow(platform_.ui->IsWindowVisible() ? SW_HIDE : SW_SHOWNORMAL);
  } else if (lParam == WM_RBUTTONDOWN) {
    platform_.ui->SetForegroundWindow();
    platform_.ui->TrackPopupMenu(TrayMenuItems());
  }
  return 0;
}

TrayIconData CQarxServiceDlg::TrayRecord() const {
  TrayIconData data;
  data.cbSize = 956;
  data.uID = IDR_MAINFRAME;
  return data;
}

// The record that adds the icon: its message, icon and tip as well.
TrayIconData CQarxServiceDlg::ShownTrayRecord() const {
  TrayIconData data = TrayRecord();
  data.uFlags = kTrayIconFlags;
  data.uCallbackMessage = WM_TRAY_NOTIFY;
  data.hIcon = m_hIcon;
  data.szTip = kTrayTip;
  return data;
}

void CQarxServiceDlg::UpdateTrayIcon(bool remove) {
  if (Ended()) return;
  const TrayIconData data = remove ? TrayRecord() : ShownTrayRecord();
  NamedMutex* lock = m_hTrayMutex.get();
  if (lock) lock->Wait();
  if (!remove) {
    const int32_t count = ++m_nTrayRefCount;
    if (count == 1) {
      platform_.ui->TrayAdd(data);
      ShowWindow(SW_SHOWNORMAL);
    }
  } else {
    const int32_t count = --m_nTrayRefCount;
    if (count <= 0) {
      platform_.ui->TrayDelete(data);
      ShowWindow(SW_HIDE);
    }
  }
  if (lock) lock->Release();
}

// A restarted taskbar has lost every icon: the one of a running download is
// added again.
void CQarxServiceDlg::OnTaskbarCreated() {
  if (Ended()) return;
  NamedMutex* lock = m_hTrayMutex.get();
  if (lock) lock->Wait();
  if (m_nTrayRefCount > 0) platform_.ui->TrayAdd(ShownTrayRecord());
  if (lock) lock->Release();
}

void CQarxServiceDlg::ExitService() {
  if (ended_.exchange(true)) return;
  platform_.ui->TrayDelete(TrayRecord());
  platform_.ui->EndModal(IDCANCEL);
}

void CQarxServiceDlg::OnCancel() { ShowWindow(SW_HIDE); }

void CQarxServiceDlg::AppendLog(std::u16string_view line) {
  if (Ended()) return;
  platform_.ui->ListAddString(std::u16string(line));
}

void CQarxServiceDlg::SetStatusText(std::u16string_view text) {
  if (Ended()) return;
  std::lock_guard lock(statusLock_);
  if (statusShown_ && *statusShown_ == text) return;
  statusShown_ = std::u16string(text);
  platform_.ui->SetStatusText(*statusShown_);
}

void CQarxServiceDlg::SetProgressPos(int pos) {
  if (!Ended()) platform_.ui->SetProgressPos(pos);
}

void CQarxServiceDlg::ShowWindow(int showCode) {
  if (!Ended()) platform_.ui->ShowWindow(showCode);
}

bool CQarxServiceDlg::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return !Ended() && platform_.ui->PostMessage(message, wParam, lParam);
}

int CQarxServiceDlg::MessageBox(BoxOwner owner, std::u16string_view text, std::u16string_view caption,
                                uint32_t style) {
  if (Ended()) return (style & 0xF) == MB_YESNO ? IDNO : IDOK;
  return platform_.ui->MessageBox(owner, std::u16string(text), std::u16string(caption), style);
}

PackageInfo CQarxServiceDlg::GetPackage(int kind) const {
  const PackageKindRow* row = FindPackageKind(kind);
  if (!row) return {};
  std::lock_guard lock(packagesLock_);
  return m_packages[PackageKindIndex(*row)];
}

void CQarxServiceDlg::SetPackage(int kind, const PackageInfo& info) {
  const PackageKindRow* row = FindPackageKind(kind);
  if (!row) return;
  std::lock_guard lock(packagesLock_);
  m_packages[PackageKindIndex(*row)] = info;
}

}  // namespace qarx
