// The process: the single-instance rule and the modal run of the dialog.
#pragma once

#include <memory>

#include "platform/named_mutex.h"
#include "platform/platform.h"

namespace qarx {

class CQarxServiceDlg;

inline constexpr std::u16string_view kSingleInstanceMutexName =
    u"the Mutex of the Veltrane IC Card Terminal Server!";

class CQarxServiceApp {
 public:
  // Admits the process or ends it silently, then runs the dialog. Always false.
  bool InitInstance(Platform& platform);
  // Releases the single-instance mutex; returns the exit code.
  int ExitInstance();

  CQarxServiceDlg* m_pMainWnd = nullptr;
};

// The one application object.
extern CQarxServiceApp theApp;

// The single-instance mutex, null when not held.
extern std::unique_ptr<NamedMutex> g_hSingleInstanceMutex;

// The application's main-window reference, read by the dialog's handlers.
CQarxServiceDlg* AfxGetMainWnd();

}  // namespace qarx
