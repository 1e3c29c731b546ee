// Timer 1: fetch the update configuration until it has been fetched and
// read once, then start the environment check and stop the timer.
#include "app/qarx_service_app.h"
#include "app/qarx_service_dlg.h"
#include "download/temp_fetch.h"
#include "update/environment_check_job.h"

namespace qarx {

namespace {
constexpr std::u16string_view kConfigServerPath = u"/static/basis/ic/SetupConfig.ini";
}  // namespace

void CQarxServiceDlg::OnTimer(uintptr_t timerId) {
  CQarxServiceDlg* mainWnd = AfxGetMainWnd();
  if (timerId != kTimerId || m_bTimerReady == 0) return;
  m_bTimerReady = 0;
  const std::u16string url = platform_.endpoints.updateServer + std::u16string(kConfigServerPath);
  if (FetchToTemp(platform_, kConfigFileName, url) == 0 && ReadPackageConfig() == 0) {
    // The main window is this dialog for the whole modal run.
    CQarxServiceDlg* checked = mainWnd != nullptr ? mainWnd : this;
    platform_.threads->StartDetached([checked] { EnvironmentCheckJob(*checked); });
    platform_.ui->KillTimer(kTimerId);
  }
  m_bTimerReady = 1;
}

}  // namespace qarx
