// A scriptable web server behind the HttpPort: an answer per URL with a
// status and a body, failures at chosen points, and a record of requests.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/http.h"

namespace qarx::testing {

struct FakeAnswer {
  uint32_t status = 200;
  std::string body;
  bool failOpen = false;  // OpenUrl gives null (no connection, time-out)
  int failReadAt = 0;     // the n-th read of this request fails (1-based); 0 never
  std::string cause{};    // the adapter's words for a failed open or read
};

class FakeHttp : public HttpPort {
 public:
  std::unique_ptr<HttpSession> Open(const std::u16string& userAgent) override;

  // ---- test side ----
  bool failSession = false;
  // URLs without an answer cannot be opened.
  void Serve(const std::u16string& url, FakeAnswer answer);
  void Forget(const std::u16string& url);
  // "session <agent>", "open <url> <flags hex>", "read <bytes>", "read failed",
  // "close request", "close session".
  std::function<void(const std::string&)> onEvent;
  std::vector<std::string> events() const;
  int opens(const std::u16string& url) const;  // OpenUrl calls for this URL

 private:
  friend class FakeHttpSession;
  friend class FakeHttpRequest;
  void Event(const std::string& line);
  mutable std::mutex mu_;
  std::map<std::u16string, FakeAnswer> answers_;
  std::map<std::u16string, int> opens_;
  std::vector<std::string> events_;
};

}  // namespace qarx::testing
