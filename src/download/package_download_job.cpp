#include "download/package_download_job.h"

#include "app/qarx_service_dlg.h"
#include "download/failure_text.h"
#include "download/temp_fetch.h"
#include "download/temp_files.h"
#include "download/transfer.h"
#include "firmware/firmware_update_handle.h"

namespace qarx {

namespace {

// Moves the status line and the progress bar as pieces arrive: one step each
// time more than one percent of the expected size has come in.
class ProgressDisplay final : public TransferObserver {
 public:
  ProgressDisplay(CQarxServiceDlg& dialog, uint32_t stepBytes) : dialog_(dialog), stepBytes_(stepBytes) {}
  void OnReading() override { dialog_.SetStatusText(kDownloadingText); }
  bool WillShowStep(uint32_t bytes) const override { return sinceStep_ + bytes > stepBytes_; }
  void OnPiece(uint32_t bytes) override {
    sinceStep_ += bytes;
    if (sinceStep_ > stepBytes_) {
      ++steps_;
      dialog_.SetProgressPos(steps_);
      sinceStep_ -= stepBytes_;
    }
    dialog_.SetStatusText(kDownloadingText);
  }
  void OnEnd() override { dialog_.SetProgressPos(100); }

 private:
  CQarxServiceDlg& dialog_;
  const uint32_t stepBytes_;
  uint32_t sinceStep_ = 0;
  int steps_ = 0;
};

// The last step of every path after the kind was accepted.
int32_t EndJob(CQarxServiceDlg& dialog, const PackageKindRow& kind, int32_t result, bool resetProgress) {
  if (kind.atEnd == AtJobEnd::ReleaseFirmwareUpdateMutex) ReleaseFirmwareUpdateHandle();
  if (resetProgress) dialog.SetProgressPos(0);
  return result;
}

// An existing file is kept only when its version is known and none of its
// numbers is below the configured one.
bool ExistingFileIsCurrent(const PackageHooks& hooks, const std::u16string& path, const PackageInfo& info) {
  uint32_t major = 0, build = 0, revision = 0, minor = 0;
  if (hooks.probeFileVersion(path, major, build, revision, minor) != kFileVersionRead) return false;
  return !(major < info.VersionMajor || build < info.VersionBuild || revision < info.VersionRevision ||
           minor < info.VersionMinor);
}

// Shows the dialog and the tray icon for the transfer and undoes both after it.
int32_t ShowTransfer(CQarxServiceDlg& dialog, const std::u16string& url, uint32_t stepBytes,
                     std::unique_ptr<WritableFile> file, TransferFailure& failure) {
  dialog.m_bDownloading = 1;
  dialog.ShowWindow(SW_SHOW);
  dialog.UpdateTrayIcon(false);

  HttpHandles handles;
  ProgressDisplay progress(dialog, stepBytes);
  const int32_t result = TransferToFile(*dialog.platform().http, url, *file, handles, progress, &failure);

  dialog.UpdateTrayIcon(true);
  dialog.m_bDownloading = 0;
  dialog.ShowWindow(SW_HIDE);
  file.reset();
  handles.session.reset();
  handles.request.reset();
  return result;
}

// The package is there: check it and ask whether to start it. A rejected
// file is deleted, so that nothing can start it later. From the check until
// the start returns (or the answer is No) the file is held, so the bytes that
// were checked are the ones that start, however long the question or the
// system's consent dialog stays open; a file that cannot be held is rejected.
int32_t OfferInstall(CQarxServiceDlg& dialog, const PackageKindRow& kind, const PackageHooks& hooks,
                     const std::u16string& path, const std::u16string& sha256, std::string& cause) {
  dialog.SetStatusText(kind.done);
  std::unique_ptr<HeldFile> held = dialog.platform().files->HoldFile(path);
  const int32_t check = held ? hooks.checkPackage(dialog.platform(), kind.fileName, sha256) : kPackageAccepted;
  if (!held || check != kPackageAccepted) {
    cause = "package rejected: " + (held ? PackageCheckText(check) : std::string("the file cannot be held"));
    held.reset();
    dialog.platform().files->DeleteFile(path);
    dialog.SetStatusText(kind.rejected);
    return kind.rejectCode;
  }
  const int answer = dialog.MessageBox(BoxOwner::Desktop, kind.prompt, kQuestionCaption, MB_YESNO | MB_ICONQUESTION);
  if (answer == IDYES) {
    if (kind.beforeStart == BeforeStart::WarnToCloseBrowser)
      dialog.MessageBox(BoxOwner::Desktop, kCloseBrowserWarning, kQuestionCaption, MB_OK | MB_ICONWARNING);
    RunFromTemp(dialog.platform(), kind.fileName);
  }
  return kDownloadOk;
}

}  // namespace

PackageHooks DefaultPackageHooks() { return {&CheckPackage, &ProbeFileVersion}; }

int32_t PackageDownloadJob(std::shared_ptr<DownloadJobArgs> args) {
  return PackageDownloadJob(std::move(args), DefaultPackageHooks());
}

int32_t PackageDownloadJob(std::shared_ptr<DownloadJobArgs> args, const PackageHooks& hooks) {
  std::string cause;
  return PackageDownloadJob(std::move(args), hooks, cause);
}

int32_t PackageDownloadJob(std::shared_ptr<DownloadJobArgs> args, const PackageHooks& hooks, std::string& cause) {
  CQarxServiceDlg& dialog = *args->dialog;
  const PackageKindRow* const found = FindPackageKind(args->kind);
  args.reset();
  cause.clear();

  if (!found) {
    dialog.SetStatusText(kConfigErrorText);
    cause = "no such package kind";
    return kDownloadUnknownKind;
  }
  const PackageKindRow& kind = *found;
  dialog.SetStatusText(kind.start);
  const PackageInfo info = dialog.GetPackage(kind.kind);
  // The bytes that make one percent of the expected size.
  const uint32_t stepBytes = static_cast<uint32_t>(info.Size) * 1024u / 100u;
  const uint64_t expectedBytes = info.Size > 0 ? static_cast<uint64_t>(info.Size) * 1024u : 0;

  FilePort& files = *dialog.platform().files;
  std::u16string path;
  TransferFailure failure;
  if (!TempFilePath(dialog.platform(), kind.fileName, path)) {
    cause = DownloadFailureText(kDownloadNoFolder, failure, expectedBytes, info.URL, path);
    return EndJob(dialog, kind, kDownloadNoFolder, false);
  }

  bool download = true;
  if (files.PathFileExists(path)) {
    download = !ExistingFileIsCurrent(hooks, path, info);
    if (download) files.DeleteFile(path);
  }
  if (download) {
    std::unique_ptr<WritableFile> file = files.CreateFile(path);
    if (!file) {
      cause = DownloadFailureText(kDownloadCannotCreate, failure, expectedBytes, info.URL, path);
      return EndJob(dialog, kind, kDownloadCannotCreate, false);
    }
    const int32_t result = ShowTransfer(dialog, info.URL, stepBytes, std::move(file), failure);
    if (result != kDownloadOk) {
      files.DeleteFile(path);
      dialog.SetStatusText(kind.failed);
      cause = DownloadFailureText(result, failure, expectedBytes, info.URL, path);
      return EndJob(dialog, kind, result, true);
    }
  }
  return EndJob(dialog, kind, OfferInstall(dialog, kind, hooks, path, info.SHA256, cause), true);
}

void RunPackageDownload(std::shared_ptr<DownloadJobArgs> args) {
  Platform& platform = args->dialog->platform();
  const int32_t kind = args->kind;
  std::string cause;
  const int32_t result = PackageDownloadJob(std::move(args), DefaultPackageHooks(), cause);
  if (result != kDownloadOk) RecordFailure(platform.record, FailureLine("download " + std::to_string(kind), result, cause));
}

}  // namespace qarx
