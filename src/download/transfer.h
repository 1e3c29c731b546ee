// The one transfer loop: a GET streamed in pieces of 1024 bytes into a local
// file. FetchToTemp and the package download job share it; the job watches
// the pieces to move its status line and progress bar.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/http.h"

namespace qarx {

inline constexpr std::u16string_view kUserAgent = u"Tesmova";

// Called by TransferToFile as the body arrives; every hook is optional.
class TransferObserver {
 public:
  virtual ~TransferObserver() = default;
  virtual void OnReading() {}                    // the URL is open, before the first read
  virtual void OnPiece(uint32_t /*bytes*/) {}    // a piece was written, before the next read
  virtual void OnEnd() {}                        // the body ended (empty piece)
};

// The handles a transfer opened. The caller closes them (after the local
// file) in the order its wind-down requires.
struct HttpHandles {
  std::unique_ptr<HttpSession> session;
  std::unique_ptr<HttpRequest> request;
};

// True for a final status of 200-299.
bool IsSuccessStatus(uint32_t status);

// Opens the client handle (-3 on failure) and the URL (-4 on failure, also
// for a final answer outside 2xx), then copies the body into file: 0 when
// the body ended, -5 when a read failed, -6 when a write failed.
int32_t TransferToFile(HttpPort& http, const std::u16string& url, WritableFile& file, HttpHandles& handles,
                       TransferObserver& observer);

}  // namespace qarx
