// The package download job: fetches one kind's installer into the temporary
// folder with status line, progress bar and tray icon, then offers to start it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "download/package_kinds.h"
#include "platform/platform.h"

namespace qarx {

class CQarxServiceDlg;

// The job's argument record, allocated by the dialog and freed by the job.
struct DownloadJobArgs {
  CQarxServiceDlg* dialog = nullptr;
  int32_t kind = 0;
};

inline constexpr std::u16string_view kConfigErrorText = u"配置文件错误!";
inline constexpr std::u16string_view kDownloadingText = u"正在下载最新程序……";
inline constexpr std::u16string_view kCloseBrowserWarning = u"   请确定关闭浏览器,\r\n停止使用IC卡互联网终端!";

// The two hooks the job consults; tests replace them to reach the paths that
// the shipped hooks never take.
struct PackageHooks {
  int32_t (*checkPackage)(Platform& platform, std::u16string_view name, std::u16string_view sha256);
  int32_t (*probeFileVersion)(const std::u16string& path, uint32_t& major, uint32_t& build,
                              uint32_t& revision, uint32_t& minor);
};
PackageHooks DefaultPackageHooks();

// Thread body. Returns kDownloadOk; kDownloadUnknownKind; kDownloadNoFolder,
// kDownloadCannotCreate (nothing shown); a transfer's failure from
// kDownloadNoClient to kDownloadWriteFailed (the kind's failed text); or the
// kind's rejectCode. On a failure, cause tells why in the words of the
// activity log file ("read failed after 1.2 of 3.0 MiB (connection reset)").
int32_t PackageDownloadJob(std::shared_ptr<DownloadJobArgs> args);
int32_t PackageDownloadJob(std::shared_ptr<DownloadJobArgs> args, const PackageHooks& hooks);
int32_t PackageDownloadJob(std::shared_ptr<DownloadJobArgs> args, const PackageHooks& hooks, std::string& cause);

// The job as the dialog starts it: its failure goes to the activity log file
// as "download <kind> failed: <result> <cause>".
void RunPackageDownload(std::shared_ptr<DownloadJobArgs> args);

}  // namespace qarx
