// The dialog's handlers of this subsystem: download requests, the hidden
// download button 1005 and the OK command.
#include <new>

#include "app/qarx_service_dlg.h"
#include "common/text.h"
#include "download/failure_text.h"
#include "download/package_download_job.h"
#include "download/temp_fetch.h"
#include "download/temp_files.h"

namespace qarx {

namespace {

// The two fixed installers of the diagnostic button and the OK command.
struct FixedInstaller {
  std::u16string_view fileName;
  std::u16string_view serverPath;
  std::u16string_view fetched;
  std::u16string_view fetchFailed;
  std::u16string_view rejected;
  std::u16string_view started;
  std::u16string_view startFailed;
};

constexpr FixedInstaller kFixedInstallers[2] = {
    {u"ic_activeX.exe", u"/portal/qre/ic/ic_activeX.exe", u"控件下载成功!", u"控件下载失败!", u"控件安装包异常!",
     u"控件安装成功!", u"控件安装失败!"},
    {u"CCID.exe", u"/portal/qre/ic/Setup_ic_terminal_driver.exe", u"CCID驱动下载成功!", u"CCID驱动下载失败!",
     u"CCID驱动安装包异常!", u"CCID驱动安装成功!", u"CCID驱动安装失败!"},
};

}  // namespace

intptr_t CQarxServiceDlg::OnDownloadRequest(uintptr_t wParam, intptr_t lParam) {
  // A request names this dialog; any other value comes from some other
  // program of the desktop and is ignored.
  if (wParam != reinterpret_cast<uintptr_t>(this)) return 0;
  auto args = std::shared_ptr<DownloadJobArgs>(new (std::nothrow) DownloadJobArgs);
  if (!args) return 0;
  args->dialog = this;
  args->kind = static_cast<int32_t>(lParam);
  platform_.threads->StartDetached([args = std::move(args)]() mutable { RunPackageDownload(std::move(args)); });
  return 0;
}

void CQarxServiceDlg::OnDownloadButton() {
  for (const FixedInstaller& installer : kFixedInstallers) {
    const std::u16string url = platform_.endpoints.updateServer + std::u16string(installer.serverPath);
    TransferFailure failure;
    const int32_t result = FetchToTemp(platform_, installer.fileName, url, &failure);
    AppendLog(result == kDownloadOk ? installer.fetched : installer.fetchFailed);
    if (result != kDownloadOk)
      RecordFailure(platform_.record, FailureLine("fetch " + ToUtf8(installer.fileName), result,
                                                  DownloadFailureText(result, failure, 0, url, std::u16string(installer.fileName))));
  }
  AppendLog(kSeparatorLine);
}

void CQarxServiceDlg::OnOK() {
  for (const FixedInstaller& installer : kFixedInstallers) {
    // Held from the check until the start returns, as the download job does.
    const std::unique_ptr<HeldFile> held = HoldTempFile(platform_, installer.fileName);
    // No configuration section vouches for these two.
    if (CheckPackage(platform_, installer.fileName, u"") != kPackageAccepted)
      AppendLog(installer.rejected);
    else
      AppendLog(RunFromTemp(platform_, installer.fileName) == kLaunchStarted ? installer.started
                                                                              : installer.startFailed);
  }
  AppendLog(kSeparatorLine);
}

}  // namespace qarx
