// Timer 1: fetch the update configuration until it has been fetched and
// read once, then start the environment check and stop the timer.
#include "app/qarx_service_app.h"
#include "app/qarx_service_dlg.h"
#include "download/failure_text.h"
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
  TransferFailure failure;
  const int32_t fetched = FetchToTemp(platform_, kConfigFileName, url, &failure);
  const int32_t read = fetched == kDownloadOk ? ReadPackageConfig() : kConfigRead;
  if (fetched != kDownloadOk) {
    const std::string text = DownloadFailureText(fetched, failure, 0, url, std::u16string(kConfigFileName));
    configFetch_.Failed(platform_.record, std::to_string(fetched) + " " + failure.cause,
                        FailureLine("configuration fetch", fetched, text));
  } else if (read != kConfigRead) {
    configFetch_.Failed(platform_.record, "read " + std::to_string(read),
                        FailureLine("configuration read", read, "the temporary folder does not fit"));
  }
  if (fetched == kDownloadOk && read == kConfigRead) {
    configFetch_.Succeeded(platform_.record);
    // The main window is this dialog for the whole modal run.
    CQarxServiceDlg* checked = mainWnd != nullptr ? mainWnd : this;
    platform_.threads->StartDetached([checked] { EnvironmentCheckJob(*checked); });
    platform_.ui->KillTimer(kTimerId);
  }
  m_bTimerReady = 1;
}

}  // namespace qarx
