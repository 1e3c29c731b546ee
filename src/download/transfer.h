// The one transfer loop: a GET streamed in pieces of 1024 bytes into a local
// file. FetchToTemp and the package download job share it; the job watches
// the pieces to move its status line and progress bar.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "download/download_result.h"
#include "platform/files.h"
#include "platform/http.h"

namespace qarx {

inline constexpr std::u16string_view kUserAgent = u"Tesmova";

// Pieces are gathered into writes of up to this many bytes. The file is
// open without sharing, so nobody sees it half written either way.
inline constexpr uint32_t kGatheredWriteBytes = 64 * 1024;

// Called by TransferToFile as the body arrives; every hook is optional.
class TransferObserver {
 public:
  virtual ~TransferObserver() = default;
  virtual void OnReading() {}  // the URL is open, before the first read
  // Whether OnPiece(bytes) will show a progress step. If so, the gathered
  // bytes are written out first, so no step is shown for bytes that did not
  // reach the file: a write that fails, fails before the next step, as it
  // would without gathering.
  virtual bool WillShowStep(uint32_t /*bytes*/) const { return false; }
  virtual void OnPiece(uint32_t /*bytes*/) {}  // a piece was taken, before the next read
  virtual void OnEnd() {}                      // the body ended (empty piece) and is all written
};

// The handles a transfer opened. The caller closes them (after the local
// file) in the order its wind-down requires.
struct HttpHandles {
  std::unique_ptr<HttpSession> session;
  std::unique_ptr<HttpRequest> request;
};

// How far a failed transfer came and why it stopped, for the activity log
// file.
struct TransferFailure {
  uint64_t received = 0;  // bytes taken from the connection
  std::string cause;      // the adapter's words, the final answer's status ("HTTP 404"), or empty
};

// True for a final status of 200-299.
bool IsSuccessStatus(uint32_t status);

// Opens the client handle (kDownloadNoClient on failure) and the URL
// (kDownloadCannotOpen on failure, also for a final answer outside 2xx),
// then copies the body into file: kDownloadOk when the body ended and all of
// it was written, kDownloadReadFailed when a read failed,
// kDownloadWriteFailed when a write failed. Reads take pieces of at most
// 1024 bytes; writes are gathered, and a failed read first writes out what
// was gathered, so a write that would have failed before it still gives
// kDownloadWriteFailed. A failure fills *failure when it is given.
int32_t TransferToFile(HttpPort& http, const std::u16string& url, WritableFile& file, HttpHandles& handles,
                       TransferObserver& observer, TransferFailure* failure = nullptr);

}  // namespace qarx
