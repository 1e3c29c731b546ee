#include "update/environment_check_job.h"

#include "app/qarx_service_dlg.h"
#include "probes/ccid_driver.h"
#include "probes/default_browser.h"
#include "probes/installed_components.h"
#include "probes/os_name.h"
#include "update/version_compare.h"

namespace qarx {

namespace {

constexpr int32_t kFirstMajorWithoutCcidCheck = 6;

constexpr std::u16string_view kCcidQuestion = u"未检测到CCID驱动\r\n是否需要下载安装?";
constexpr std::u16string_view kControlQuestion = u"   未安装控件\r\n是否需要下载安装?";
constexpr std::u16string_view kServerQuestion = u" 未安装服务程序\r\n是否需要下载安装?";
constexpr std::u16string_view kControlUpdateQuestion = u"检查到控件有更新\r\n是否需要下载更新?";
constexpr std::u16string_view kServerUpdateQuestion = u"检查到服务程序有更新\r\n  是否需要下载更新?";

void CheckCcidDriver(CQarxServiceDlg& dialog) {
  if (dialog.m_nOsMajorVersion.load() >= kFirstMajorWithoutCcidCheck) return;
  if (FindCcidDriver(dialog.platform()))
    dialog.AppendLog(kCcidFoundLine);
  else
    OfferDownload(dialog, kCcidMissingLine, kCcidQuestion, kPackageCcid);
}

void CheckComponents(CQarxServiceDlg& dialog) {
  Platform& platform = dialog.platform();
  CheckLegacyControl(platform);
  if (IsControlInstalled(*platform.registry) == kProbeOk)
    dialog.AppendLog(kControlInstalledLine);
  else
    OfferDownload(dialog, kControlMissingLine, kControlQuestion, kPackageControl);
  if (IsServiceInstalled(*platform.registry) == kProbeOk)
    dialog.AppendLog(kServerInstalledLine);
  else
    OfferDownload(dialog, kServerMissingLine, kServerQuestion, kPackageServer);
}

void CheckVersions(CQarxServiceDlg& dialog) {
  const uint32_t flags = CompareInstalledVersions(dialog.platform());
  if (flags & kNewerControl)
    OfferDownload(dialog, kNewerControlLine, kControlUpdateQuestion, kPackageControl);
  else
    dialog.AppendLog(kNoNewerControlLine);
  if (flags & kNewerServer)
    OfferDownload(dialog, kNewerServerLine, kServerUpdateQuestion, kPackageServer);
  else
    dialog.AppendLog(kNoNewerServerLine);
}

}  // namespace

void OfferDownload(CQarxServiceDlg& dialog, std::u16string_view finding, std::u16string_view question,
                   int32_t kind) {
  dialog.AppendLog(finding);
  const int answer = dialog.MessageBox(BoxOwner::Desktop, question, kQuestionCaption, MB_YESNO | MB_ICONQUESTION);
  if (answer != IDYES) return;
  dialog.PostMessage(WM_DOWNLOAD_REQUEST, reinterpret_cast<uintptr_t>(&dialog), kind);
}

int EnvironmentCheckJob(CQarxServiceDlg& dialog) {
  dialog.AppendLog(OsInfoLine(*dialog.platform().system, dialog.m_nOsMajorVersion));
  dialog.AppendLog(kSeparatorLine);
  dialog.AppendLog(BrowserLine(*dialog.platform().registry));
  dialog.AppendLog(kSeparatorLine);
  // The separator closes the group also when the check is skipped.
  CheckCcidDriver(dialog);
  dialog.AppendLog(kSeparatorLine);
  CheckComponents(dialog);
  dialog.AppendLog(kSeparatorLine);
  CheckVersions(dialog);
  dialog.AppendLog(kSeparatorLine);
  return 0;
}

}  // namespace qarx
