#include "download/transfer.h"

#include <vector>

#include "common/qarx_types.h"

namespace qarx {

namespace {

// Pieces collected into one write. A failed write leaves the file short, as
// a failed piece would, and the transfer fails with it.
class GatheredWrites {
 public:
  explicit GatheredWrites(WritableFile& file) : file_(file) { buffer_.reserve(kGatheredWriteBytes); }
  bool Add(const uint8_t* data, uint32_t size) {
    if (buffer_.size() + size > kGatheredWriteBytes && !Flush()) return false;
    buffer_.insert(buffer_.end(), data, data + size);
    return true;
  }
  bool Flush() {
    if (buffer_.empty()) return true;
    uint32_t written = 0;
    const bool ok = file_.Write(buffer_.data(), static_cast<uint32_t>(buffer_.size()), written);
    buffer_.clear();
    return ok;
  }

 private:
  WritableFile& file_;
  std::vector<uint8_t> buffer_;
};

}  // namespace

bool IsSuccessStatus(uint32_t status) { return status >= 200 && status <= 299; }

int32_t TransferToFile(HttpPort& http, const std::u16string& url, WritableFile& file, HttpHandles& handles,
                       TransferObserver& observer, TransferFailure* failure) {
  TransferFailure unused;
  TransferFailure& report = failure ? *failure : unused;
  report = {};
  const auto writeFailed = [&] {
    report.cause = file.FailureCause();
    return kDownloadWriteFailed;
  };

  handles.session = http.Open(std::u16string(kUserAgent));
  if (!handles.session) return kDownloadNoClient;
  handles.request = handles.session->OpenUrl(url, INTERNET_FLAG_RELOAD);
  if (!handles.request) {
    report.cause = handles.session->FailureCause();
    return kDownloadCannotOpen;
  }
  // An error page is not the file that was asked for.
  if (const uint32_t status = handles.request->StatusCode(); !IsSuccessStatus(status)) {
    report.cause = "HTTP " + std::to_string(status);
    return kDownloadCannotOpen;
  }

  observer.OnReading();
  GatheredWrites out(file);
  uint8_t piece[kReadPieceBytes];
  for (;;) {
    uint32_t read = 0;
    if (!handles.request->Read(piece, sizeof piece, read)) {
      if (!out.Flush()) return writeFailed();
      report.cause = handles.request->FailureCause();
      return kDownloadReadFailed;
    }
    if (read == 0) {
      if (!out.Flush()) return writeFailed();
      observer.OnEnd();
      return kDownloadOk;
    }
    report.received += read;
    if (!out.Add(piece, read)) return writeFailed();
    if (observer.WillShowStep(read) && !out.Flush()) return writeFailed();
    observer.OnPiece(read);
  }
}

}  // namespace qarx
