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
                       TransferObserver& observer) {
  handles.session = http.Open(std::u16string(kUserAgent));
  if (!handles.session) return -3;
  handles.request = handles.session->OpenUrl(url, INTERNET_FLAG_RELOAD);
  if (!handles.request) return -4;
  // An error page is not the file that was asked for.
  if (!IsSuccessStatus(handles.request->StatusCode())) return -4;

  observer.OnReading();
  GatheredWrites out(file);
  uint8_t piece[kReadPieceBytes];
  for (;;) {
    uint32_t read = 0;
    if (!handles.request->Read(piece, sizeof piece, read)) return out.Flush() ? -5 : -6;
    if (read == 0) {
      if (!out.Flush()) return -6;
      observer.OnEnd();
      return 0;
    }
    if (!out.Add(piece, read)) return -6;
    if (observer.WillShowStep(read) && !out.Flush()) return -6;
    observer.OnPiece(read);
  }
}

}  // namespace qarx
