// The program's only window and its hub: hidden activity log, status line,
// progress bar, tray icon with its menu, timer 1, and the message table that
// routes work to the other subsystems.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/failure_streak.h"
#include "common/qarx_types.h"
#include "download/package_kinds.h"
#include "platform/platform.h"

namespace qarx {

inline constexpr std::u16string_view kTrayTip = u"      VeltraneIC卡\r\n互联网终端服务程序!";
inline constexpr std::u16string_view kTrayMutexName = u"the Mutex of CQarxService Class!";
inline constexpr uint32_t kTrayIconFlags = 7;  // NIF_MESSAGE | NIF_ICON | NIF_TIP
inline constexpr uint32_t kTimerId = 1;
inline constexpr uint32_t kTimerPeriodMs = 5000;

// Reading the package records from the local copy of the configuration.
enum ConfigReadResult : int32_t {
  kConfigRead = 0,
  kConfigNoFolder = -1,  // the temporary folder's path does not fit
};

// The tray icon's pop-up menu, top to bottom.
std::vector<MenuItem> TrayMenuItems();

class CQarxServiceDlg : public MessageTarget {
 public:
  // timerPeriodMs: timer 1's period; tests of the whole program shorten it.
  explicit CQarxServiceDlg(Platform& platform, uint32_t timerPeriodMs = kTimerPeriodMs);
  ~CQarxServiceDlg() override;
  CQarxServiceDlg(const CQarxServiceDlg&) = delete;
  CQarxServiceDlg& operator=(const CQarxServiceDlg&) = delete;

  // Runs the dialog modally on the calling (user-interface) thread.
  int DoModal();

  intptr_t WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

  // ---- operations other subsystems use (any thread) ----
  // Once Exit was chosen or the modal run has ended, the dialog has no
  // window any more: these then do nothing (a question answers No, a post
  // fails), so jobs that still run leave no trace.
  void UpdateTrayIcon(bool remove);
  void ExitService();
  void AppendLog(std::u16string_view line);  // LB_ADDSTRING to ActivityLog
  // Sends the text only when it differs from the one shown: an unchanged
  // text would look the same, yet every send waits for the user-interface
  // thread. Called by worker threads, never by the user-interface thread,
  // which the send waits for.
  void SetStatusText(std::u16string_view text);
  void SetProgressPos(int pos);
  void ShowWindow(int showCode);
  bool PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
  int MessageBox(BoxOwner owner, std::u16string_view text, std::u16string_view caption, uint32_t style);
  Platform& platform() { return platform_; }

  // A copy of one kind's download settings (the kinds of kPackageKinds; an
  // empty record for any other number, which SetPackage ignores).
  PackageInfo GetPackage(int kind) const;
  void SetPackage(int kind, const PackageInfo& info);

  // Fill the kinds with a section of their own, or the firmware tool's kind
  // from the model's section, from the local copy of the configuration:
  // kConfigRead, or kConfigNoFolder when its path cannot be formed.
  int32_t ReadPackageConfig();
  int32_t ReadFirmwareConfig(const std::u16string& model);

  // ---- message handlers (user-interface thread) ----
  bool OnInitDialog();
  void ResetDialogState();
  void OnPaint();
  void OnNcPaint();
  intptr_t OnQueryDragIcon() const { return m_hIcon; }
  intptr_t OnTrayNotify(uintptr_t wParam, intptr_t lParam);
  void OnTaskbarCreated();
  void OnOK();
  void OnCancel();
  void OnTimer(uintptr_t timerId);
  intptr_t OnDownloadRequest(uintptr_t wParam, intptr_t lParam);
  void OnSysInfo();
  void OnBrowser();
  void OnCcidInfo();
  void OnDownloadButton();
  void OnInstallInfo();
  void OnCheckUpdate();

  // ---- fields shared with the jobs ----
  const uint32_t m_hIcon = IDR_MAINFRAME;
  std::atomic<int32_t> m_nOsMajorVersion{0};
  std::atomic<int32_t> m_nTrayRefCount{0};
  std::unique_ptr<NamedMutex> m_hTrayMutex;
  std::atomic<int32_t> m_bDownloading{0};
  std::atomic<int32_t> m_bTimerReady{0};

 private:
  void OnCommand(uint32_t id);
  TrayIconData TrayRecord() const;
  TrayIconData ShownTrayRecord() const;
  bool Ended() const { return ended_; }

  // Set by ExitService and when the modal run returns; never cleared.
  std::atomic<bool> ended_{false};

  Platform& platform_;
  const uint32_t timerPeriodMs_;
  // Guards m_packages: configuration readers, firmware checks and download
  // jobs touch the records from different threads.
  mutable std::mutex packagesLock_;
  PackageInfo m_packages[kPackageKindCount];  // in the order of kPackageKinds
  // The text StatusText shows, once one was set. Held across the send, so it
  // always matches the control when several jobs write it.
  std::mutex statusLock_;
  std::optional<std::u16string> statusShown_;
  // The configuration fetch's failures in the activity log file (timer 1,
  // user-interface thread only).
  FailureStreak configFetch_{"configuration fetched"};
};

}  // namespace qarx
