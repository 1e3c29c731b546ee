#include "app/qarx_service_app.h"

#include "app/qarx_service_dlg.h"

namespace qarx {

CQarxServiceApp theApp;
std::unique_ptr<NamedMutex> g_hSingleInstanceMutex;

CQarxServiceDlg* AfxGetMainWnd() { return theApp.MainWindow(); }

CQarxServiceDlg* CQarxServiceApp::MainWindow() {
  std::lock_guard lock(exitLock_);
  return m_pMainWnd;
}

bool CQarxServiceApp::AdmitInstance(MutexPort& mutexes) {
  bool alreadyExisted = false;
  g_hSingleInstanceMutex = mutexes.Create(std::u16string(kSingleInstanceMutexName), true, alreadyExisted);
  if (alreadyExisted) g_hSingleInstanceMutex.reset();
  // A mutex that could not be created at all does not stop the start.
  admission_ = alreadyExisted ? Admission::Refused : Admission::Admitted;
  return !alreadyExisted;
}

bool CQarxServiceApp::InitInstance(Platform& platform) { return InitInstance(platform, kTimerPeriodMs); }

bool CQarxServiceApp::InitInstance(Platform& platform, uint32_t timerPeriodMs) {
  if (admission_ == Admission::Unchecked) AdmitInstance(*platform.mutexes);
  const bool admitted = admission_ == Admission::Admitted;
  admission_ = Admission::Unchecked;  // a later start of this object checks again
  if (!admitted) return false;

  CQarxServiceDlg* dlg = nullptr;
  {
    std::lock_guard lock(exitLock_);
    if (exitRequested_) {  // ended before its dialog existed
      exitRequested_ = false;
      return false;
    }
    dlg = new CQarxServiceDlg(platform, timerPeriodMs);  // kept for the life of the process
    dialogs_.push_back(dlg);
    m_pMainWnd = dlg;
  }
  dlg->DoModal();
  std::lock_guard lock(exitLock_);
  m_pMainWnd = nullptr;
  exitRequested_ = false;  // the request ended this run
  return false;
}

int CQarxServiceApp::ExitInstance() {
  if (g_hSingleInstanceMutex) {
    g_hSingleInstanceMutex->Release();
    g_hSingleInstanceMutex.reset();
  }
  return 0;
}

void CQarxServiceApp::RequestExit() {
  CQarxServiceDlg* dlg = nullptr;
  {
    std::lock_guard lock(exitLock_);
    exitRequested_ = true;
    dlg = m_pMainWnd;
  }
  // Outside the lock: ending the run may wait for the user-interface thread.
  // The dialog outlives its run, so the pointer stays good.
  if (dlg) dlg->ExitService();
}

}  // namespace qarx
