// HTTP(S) GET of whole files, shaped like the platform's internet API: a
// client handle, a request handle per URL, and synchronous reads of pieces.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace qarx {

inline constexpr uint32_t INTERNET_FLAG_RELOAD = 0x80000000u;

class HttpRequest {
 public:
  virtual ~HttpRequest() = default;  // closes the request handle
  // The status code of the final answer, after redirects (HTTP_QUERY_STATUS_CODE).
  virtual uint32_t StatusCode() = 0;
  // Reads up to toRead bytes; fills the whole buffer unless the body ends
  // first. read = 0 at the end of the body. False on a failed read.
  virtual bool Read(void* buffer, uint32_t toRead, uint32_t& read) = 0;
  // After a failed Read: the library's short words for why (for the
  // activity log file), or empty.
  virtual std::string FailureCause() const { return {}; }
};

class HttpSession {
 public:
  virtual ~HttpSession() = default;  // closes the client handle
  // Null when the URL cannot be opened: no connection, no answer, too many
  // redirects or a redirect from https to another scheme. Returns once the
  // final answer's headers have arrived.
  virtual std::unique_ptr<HttpRequest> OpenUrl(const std::u16string& url, uint32_t flags) = 0;
  // After an OpenUrl that gave null: the library's short words for why (for
  // the activity log file), or empty.
  virtual std::string FailureCause() const { return {}; }
};

class HttpPort {
 public:
  virtual ~HttpPort() = default;
  // The client handle with the system's proxy settings; null on failure.
  virtual std::unique_ptr<HttpSession> Open(const std::u16string& userAgent) = 0;
};

}  // namespace qarx
