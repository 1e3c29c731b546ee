// The process: the single-instance rule and the modal run of the dialog.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/named_mutex.h"
#include "platform/platform.h"

namespace qarx {

class CQarxServiceDlg;

inline constexpr std::u16string_view kSingleInstanceMutexName =
    u"the Mutex of the Veltrane IC Card Terminal Server!";

class CQarxServiceApp {
 public:
  // The single-instance rule, before anything else of the start happens:
  // false when another instance runs (this one must then end silently).
  // InitInstance applies it itself when it has not been applied yet.
  bool AdmitInstance(MutexPort& mutexes);
  // Admits the process or ends it silently, then runs the dialog (its timer 1
  // with the given period). Always false.
  bool InitInstance(Platform& platform, uint32_t timerPeriodMs);
  bool InitInstance(Platform& platform);
  // Releases the single-instance mutex; returns the exit code.
  int ExitInstance();
  // Ends the service as the tray menu's Exit does, from any thread (a
  // termination signal): at once while the dialog runs, else as soon as it
  // would start.
  void RequestExit();
  // m_pMainWnd as any thread may read it while a run starts or ends.
  CQarxServiceDlg* MainWindow();

  CQarxServiceDlg* m_pMainWnd = nullptr;

 private:
  enum class Admission { Unchecked, Admitted, Refused };
  Admission admission_ = Admission::Unchecked;
  std::mutex exitLock_;  // m_pMainWnd as other threads see it, and exitRequested_
  bool exitRequested_ = false;
  // Every dialog this process ran. Detached jobs may still call one after
  // its modal run has ended, so none is ever destroyed: they go with the
  // process. The list itself is never destroyed either, so that it still
  // holds them while the process's static objects go.
  std::vector<CQarxServiceDlg*>& dialogs_ = *new std::vector<CQarxServiceDlg*>;
};

// The one application object.
extern CQarxServiceApp theApp;

// The single-instance mutex, null when not held.
extern std::unique_ptr<NamedMutex> g_hSingleInstanceMutex;

// The application's main-window reference, read by the dialog's handlers.
CQarxServiceDlg* AfxGetMainWnd();

}  // namespace qarx
