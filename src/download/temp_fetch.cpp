#include "download/temp_fetch.h"

#include "common/qarx_types.h"
#include "common/text.h"
#include "download/failure_text.h"
#include "download/temp_files.h"
#include "download/transfer.h"

namespace qarx {

namespace {

// The 64 hex digits of a SHA-256 (either case) as bytes. False for anything
// else.
bool ParseSha256(std::u16string_view text, Sha256Digest& digest) {
  if (text.size() != digest.size() * 2) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    int nibble = 0;
    if (c >= u'0' && c <= u'9')
      nibble = c - u'0';
    else if (c >= u'a' && c <= u'f')
      nibble = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
      nibble = c - u'A' + 10;
    else
      return false;
    uint8_t& byte = digest[i / 2];
    byte = static_cast<uint8_t>(i % 2 == 0 ? nibble << 4 : byte | nibble);
  }
  return true;
}

}  // namespace

int32_t FetchToTemp(Platform& platform, std::u16string_view name, const std::u16string& url,
                    TransferFailure* failure) {
  FilePort& files = *platform.files;
  std::u16string path;
  if (!TempFilePath(platform, name, path)) return kDownloadNoFolder;
  if (files.PathFileExists(path)) files.DeleteFile(path);

  std::unique_ptr<WritableFile> file = files.CreateFile(path);
  if (!file) return kDownloadCannotCreate;
  HttpHandles handles;
  TransferObserver quiet;
  const int32_t result = TransferToFile(*platform.http, url, *file, handles, quiet, failure);

  file.reset();
  handles.session.reset();
  handles.request.reset();
  if (result != kDownloadOk) files.DeleteFile(path);
  return result;
}

int32_t RunFromTemp(Platform& platform, std::u16string_view name) {
  std::u16string path;
  const auto notStarted = [&](const std::u16string& what, const std::string& why) {
    RecordFailure(platform.record, FailureLine("launch " + ToUtf8(what), kLaunchNotStarted, why));
    return kLaunchNotStarted;
  };
  if (!TempFilePath(platform, name, path)) return notStarted(std::u16string(name), "the temporary folder does not fit");
  if (!platform.files->PathFileExists(path)) return notStarted(path, "the file is not there");
  std::string cause;
  const uint32_t value = platform.launcher->ExecuteWithCause(path, SW_SHOW, cause);
  if (value >= kLauncherStarted) return kLaunchStarted;
  return notStarted(path, LaunchFailureText(value, cause));
}

int32_t CheckPackage(Platform& platform, std::u16string_view name, std::u16string_view sha256) {
  if (sha256.empty()) return kPackageAccepted;
  Sha256Digest expected{};
  if (!ParseSha256(sha256, expected)) return kPackageDigestMalformed;
  std::u16string path;
  Sha256Digest actual{};
  if (!TempFilePath(platform, name, path) || !platform.hash->Sha256File(path, actual)) return kPackageUnreadable;
  return actual == expected ? kPackageAccepted : kPackageDigestDiffers;
}

int32_t ProbeFileVersion(const std::u16string&, uint32_t&, uint32_t&, uint32_t&, uint32_t&) { return kNoFileVersion; }

}  // namespace qarx
