// The package download job: fetches one kind's installer into the temporary
// folder with status line, progress bar and tray icon, then offers to start it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace qarx {

class CQarxServiceDlg;

// The job's argument record, allocated by the dialog and freed by the job.
struct DownloadJobArgs {
  CQarxServiceDlg* dialog = nullptr;
  int32_t kind = 0;
};

// What the job shows and writes for one package kind.
struct PackageTexts {
  std::u16string_view fileName;
  std::u16string_view start;
  std::u16string_view done;
  std::u16string_view rejected;
  std::u16string_view failed;
  std::u16string_view prompt;
  int32_t rejectCode;
};

inline constexpr PackageTexts kPackageTexts[5] = {
    {},
    {u"VLT_Terminal_CCID.exe", u"开始下载最新的CCID驱动!", u"最新的CCID驱动下载完成!",
     u"最新的CCID驱动安装包异常!", u"最新的CCID驱动下载失败!",
     u" 最新的CCID驱动下载完成!\r\n\r\n是否需要立即安装最新驱动?", -6},
    {u"VLT_Terminal_Control.exe", u"开始下载最新的浏览器控件!", u"最新的默认浏览器控件下载完成!",
     u"最新的浏览器控件安装包异常!", u"最新的默认浏览器控件下载失败!",
     u"最新的浏览器控件下载完成!\r\n\r\n是否需要立即安装最新控件?", -7},
    {u"VLT_Terminal_Server.exe", u"开始下载最新的服务程序!", u"最新服务程序下载完成!",
     u"最新的服务程序安装包异常!", u"最新服务程序下载失败!",
     u" 最新的服务程序下载完成!\r\n\r\n是否需要立即安装最新程序?", -8},
    {u"VLT_Terminal_CosUpdate.exe", u"开始下载最新的固件升级程序!", u"固件升级程序下载完成!",
     u"固件升级程序安装包异常!", u"最新固件程序下载失败!", u" 固件升级程序下载完成!\r\n\r\n是否需要立即安装?", -8},
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

// Thread body. Returns 0, or -1 … -8 as the result-code table says.
int32_t PackageDownloadJob(std::shared_ptr<DownloadJobArgs> args);
int32_t PackageDownloadJob(std::shared_ptr<DownloadJobArgs> args, const PackageHooks& hooks);

}  // namespace qarx
