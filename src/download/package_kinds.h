// The package kinds, one row each: where the update configuration describes
// the package, where it comes from until then, what the download job shows
// and writes for it, and what the job does besides the common steps. A new
// kind is a number in PackageKind and a row here; everything sized or
// looped by kind follows this table.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "common/qarx_types.h"
#include "download/download_result.h"

namespace qarx {

// What the job does before it starts an accepted package.
enum class BeforeStart { Nothing, WarnToCloseBrowser };
// What the job does last, on every path once the kind was accepted.
enum class AtJobEnd { Nothing, ReleaseFirmwareUpdateMutex };

struct PackageKindRow {
  PackageKind kind;
  // The configuration's section; empty for the one named by the terminal's model.
  std::u16string_view section;
  // On the update server, until the configuration names a URL; empty: none.
  std::u16string_view defaultPath;
  int32_t fallbackSize;  // KB, when the section gives no Size or a negative one
  std::u16string_view fileName;  // in the temporary folder
  std::u16string_view start;
  std::u16string_view done;
  std::u16string_view rejected;
  std::u16string_view failed;
  std::u16string_view prompt;
  DownloadResult rejectCode;
  BeforeStart beforeStart;
  AtJobEnd atEnd;
};

inline constexpr PackageKindRow kPackageKinds[] = {
    {kPackageCcid, u"CCID", u"/static/basis/ic/setup_xp.exe", 2048, u"VLT_Terminal_CCID.exe",
     u"开始下载最新的CCID驱动!", u"最新的CCID驱动下载完成!", u"最新的CCID驱动安装包异常!", u"最新的CCID驱动下载失败!",
     u" 最新的CCID驱动下载完成!\r\n\r\n是否需要立即安装最新驱动?", kDownloadDriverRejected, BeforeStart::Nothing,
     AtJobEnd::Nothing},
    {kPackageControl, u"Control", u"/static/basis/ic/ICCardSetup_1.0.0.1.exe", 180, u"VLT_Terminal_Control.exe",
     u"开始下载最新的浏览器控件!", u"最新的默认浏览器控件下载完成!", u"最新的浏览器控件安装包异常!",
     u"最新的默认浏览器控件下载失败!", u"最新的浏览器控件下载完成!\r\n\r\n是否需要立即安装最新控件?",
     kDownloadControlRejected, BeforeStart::WarnToCloseBrowser, AtJobEnd::Nothing},
    {kPackageServer, u"Server", u"/static/basis/ic/DozAziDedav_1.0.0.1.exe", 30, u"VLT_Terminal_Server.exe",
     u"开始下载最新的服务程序!", u"最新服务程序下载完成!", u"最新的服务程序安装包异常!", u"最新服务程序下载失败!",
     u" 最新的服务程序下载完成!\r\n\r\n是否需要立即安装最新程序?", kDownloadProgramRejected, BeforeStart::Nothing,
     AtJobEnd::Nothing},
    {kPackageFirmware, u"", u"", 320, u"VLT_Terminal_CosUpdate.exe", u"开始下载最新的固件升级程序!",
     u"固件升级程序下载完成!", u"固件升级程序安装包异常!", u"最新固件程序下载失败!",
     u" 固件升级程序下载完成!\r\n\r\n是否需要立即安装?", kDownloadProgramRejected, BeforeStart::Nothing,
     AtJobEnd::ReleaseFirmwareUpdateMutex},
};
inline constexpr size_t kPackageKindCount = std::size(kPackageKinds);

// The row of a kind; null for a number that is no kind.
constexpr const PackageKindRow* FindPackageKind(int32_t kind) {
  for (const PackageKindRow& row : kPackageKinds)
    if (row.kind == kind) return &row;
  return nullptr;
}

// A row's place in arrays sized by kPackageKindCount.
constexpr size_t PackageKindIndex(const PackageKindRow& row) { return static_cast<size_t>(&row - kPackageKinds); }

namespace package_kinds_check {
constexpr bool RowComplete(const PackageKindRow& row) {
  return !row.fileName.empty() && !row.start.empty() && !row.done.empty() && !row.rejected.empty() &&
         !row.failed.empty() && !row.prompt.empty() && row.rejectCode < 0 && row.fallbackSize > 0 &&
         row.section.empty() == row.defaultPath.empty();
}
constexpr bool KindsDistinct() {
  for (size_t i = 0; i < kPackageKindCount; ++i)
    for (size_t j = i + 1; j < kPackageKindCount; ++j)
      if (kPackageKinds[i].kind == kPackageKinds[j].kind) return false;
  return true;
}
}  // namespace package_kinds_check
static_assert(std::all_of(std::begin(kPackageKinds), std::end(kPackageKinds), package_kinds_check::RowComplete),
              "every package kind needs its section (or none with no default path), file name, texts and code");
static_assert(package_kinds_check::KindsDistinct(), "one row per package kind");

}  // namespace qarx
