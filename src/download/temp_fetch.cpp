#include "download/temp_fetch.h"

#include "common/qarx_types.h"
#include "download/temp_files.h"
#include "download/transfer.h"

namespace qarx {

namespace {
constexpr uint32_t kLaunchedMinimum = 32;  // WinExec: 32 or more means started
}  // namespace

int32_t FetchToTemp(Platform& platform, std::u16string_view name, const std::u16string& url) {
  FilePort& files = *platform.files;
  std::u16string path;
  if (!TempFilePath(platform, name, path)) return -1;
  if (files.PathFileExists(path)) files.DeleteFile(path);

  std::unique_ptr<WritableFile> file = files.CreateFile(path);
  if (!file) return -2;
  HttpHandles handles;
  TransferObserver quiet;
  const int32_t result = TransferToFile(*platform.http, url, *file, handles, quiet);

  file.reset();
  handles.session.reset();
  handles.request.reset();
  if (result != 0) files.DeleteFile(path);
  return result;
}

int32_t RunFromTemp(Platform& platform, std::u16string_view name) {
  std::u16string path;
  if (!TempFilePath(platform, name, path)) return -1;
  if (!platform.files->PathFileExists(path)) return -1;
  return platform.launcher->Execute(path, SW_SHOW) >= kLaunchedMinimum ? 0 : -1;
}

int32_t CheckPackage(std::u16string_view) { return 0; }

int32_t ProbeFileVersion(const std::u16string&, uint32_t&, uint32_t&, uint32_t&, uint32_t&) { return -1; }

}  // namespace qarx
