#include "app/qarx_service_app.h"

#include "app/qarx_service_dlg.h"

namespace qarx {

CQarxServiceApp theApp;
std::unique_ptr<NamedMutex> g_hSingleInstanceMutex;

CQarxServiceDlg* AfxGetMainWnd() { return theApp.m_pMainWnd; }

bool CQarxServiceApp::InitInstance(Platform& platform) {
  bool alreadyExisted = false;
  g_hSingleInstanceMutex =
      platform.mutexes->Create(std::u16string(kSingleInstanceMutexName), true, alreadyExisted);
  if (alreadyExisted) {
    g_hSingleInstanceMutex.reset();
    return false;
  }
  // A mutex that could not be created at all does not stop the start.
  CQarxServiceDlg dlg(platform);
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;
  return false;
}

int CQarxServiceApp::ExitInstance() {
  if (g_hSingleInstanceMutex) {
    g_hSingleInstanceMutex->Release();
    g_hSingleInstanceMutex.reset();
  }
  return 0;
}

}  // namespace qarx
