// HttpPort over libcurl. A request is driven by a multi handle on the
// caller's thread: OpenUrl runs it until the final answer's headers are in,
// Read until a full piece is buffered or the body ends. Pieces are handed out
// of a buffer that is refilled in large steps: only when it cannot give a
// whole piece, and then with all that has arrived, taken from the socket in
// receives of kReceiveBytes. The buffer is bounded: when it is full the
// transfer pauses until the reader catches up, so a body is never held whole
// in memory.
//
// Environment: the proxy variables libcurl knows (http_proxy, https_proxy,
// all_proxy, no_proxy); QARX_CA_BUNDLE, a PEM file of certificates trusted
// besides the system's; QARX_HTTP_CONNECT_TIMEOUT (seconds, default 30) and
// QARX_HTTP_LOW_SPEED_TIME (seconds below 1 byte/s before a transfer is
// abandoned, default 60).
#include <curl/curl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "common/text.h"
#include "platform/linux/linux_ports.h"

namespace qarx::linux_port {

namespace {

constexpr int kMaxRedirects = 5;
constexpr long kReceiveBytes = 256 * 1024;
constexpr size_t kBufferBytes = 512 * 1024;
constexpr int kPollMs = 1000;

long EnvSeconds(const char* name, long fallback) {
  const char* text = std::getenv(name);
  if (!text || !*text) return fallback;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  return (*end == '\0' && value > 0) ? value : fallback;
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  const size_t n = std::strlen(prefix);
  return text.size() >= n && strncasecmp(text.c_str(), prefix, n) == 0;
}

// Settings every request of a session shares.
struct RequestSettings {
  std::string userAgent;
  long connectTimeout = EnvSeconds("QARX_HTTP_CONNECT_TIMEOUT", 30);
  long lowSpeedTime = EnvSeconds("QARX_HTTP_LOW_SPEED_TIME", 60);
  std::string caBundle;
};

class CurlRequest final : public HttpRequest {
 public:
  CurlRequest() : multi_(curl_multi_init()), easy_(curl_easy_init()) {
    headers_ = curl_slist_append(headers_, "Cache-Control: no-cache");
    headers_ = curl_slist_append(headers_, "Pragma: no-cache");
  }
  ~CurlRequest() override {
    if (multi_ && easy_ && added_) curl_multi_remove_handle(multi_, easy_);
    if (easy_) curl_easy_cleanup(easy_);
    if (multi_) curl_multi_cleanup(multi_);
    curl_slist_free_all(headers_);
  }
  CurlRequest(const CurlRequest&) = delete;
  CurlRequest& operator=(const CurlRequest&) = delete;

  // Sends the GET and waits for the final answer's headers. False when no
  // answer came.
  bool Start(const std::string& url, const RequestSettings& s) {
    if (!multi_ || !easy_ || !headers_) return false;
    curl_easy_setopt(easy_, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy_, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy_, CURLOPT_USERAGENT, s.userAgent.c_str());
    curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headers_);
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT, s.connectTimeout);
    curl_easy_setopt(easy_, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy_, CURLOPT_LOW_SPEED_TIME, s.lowSpeedTime);
    curl_easy_setopt(easy_, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, errorText_);
    if (!s.caBundle.empty()) {
      // CAINFO replaces the system bundle; the hashed system folder keeps it.
      const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
      curl_easy_setopt(easy_, CURLOPT_CAINFO, s.caBundle.c_str());
      curl_easy_setopt(easy_, CURLOPT_CAPATH, info && info->capath ? info->capath : "/etc/ssl/certs");
    }
    curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &CurlRequest::OnHeader);
    curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy_, CURLOPT_BUFFERSIZE, kReceiveBytes);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &CurlRequest::OnBody);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
    if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) return false;
    added_ = true;

    Pump();
    while (!headersDone_ && !done_) {
      Wait();
      Pump();
    }
    return headersDone_ || result_ == CURLE_OK;
  }

  // Where a 3xx answer points, or empty.
  std::string RedirectTarget() {
    if (status_ < 300 || status_ > 399) return {};
    char* target = nullptr;
    curl_easy_getinfo(easy_, CURLINFO_REDIRECT_URL, &target);
    return target ? target : "";
  }

  uint32_t StatusCode() override { return static_cast<uint32_t>(status_); }

  // libcurl's words for the failure: its detailed message when it wrote one.
  std::string FailureCause() const override {
    if (!multi_ || !easy_ || !headers_) return "cannot set up the request";
    if (errorText_[0] != '\0') return errorText_;
    return curl_easy_strerror(result_);
  }

  bool Read(void* buffer, uint32_t toRead, uint32_t& read) override {
    read = 0;
    if (Buffered() < toRead && !done_) Refill(toRead);
    if (done_ && result_ != CURLE_OK) return false;
    const size_t n = std::min<size_t>(toRead, Buffered());
    if (n == 0) return true;  // the end of the body
    std::memcpy(buffer, buffer_.get() + head_, n);
    head_ += n;
    read = static_cast<uint32_t>(n);
    return true;
  }

 private:
  size_t Buffered() const { return tail_ - head_; }

  // Moves the rest (less than a piece) to the front, then takes in all that
  // has arrived, waiting only while there is less than need.
  void Refill(size_t need) {
    std::memmove(buffer_.get(), buffer_.get() + head_, Buffered());
    tail_ -= head_;
    head_ = 0;
    while (Buffered() < need && !done_) {
      if (paused_) {
        paused_ = false;
        curl_easy_pause(easy_, CURLPAUSE_CONT);
      }
      Pump();
      if (Buffered() < need && !done_ && !paused_) Wait();
    }
  }

  void Pump() {
    int running = 0;
    if (curl_multi_perform(multi_, &running) != CURLM_OK) {
      done_ = true;
      result_ = CURLE_FAILED_INIT;
      return;
    }
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi_, &left)) {
      if (msg->msg == CURLMSG_DONE) {
        done_ = true;
        result_ = msg->data.result;
      }
    }
  }

  void Wait() { curl_multi_poll(multi_, nullptr, 0, kPollMs, nullptr); }

  static size_t OnHeader(char* data, size_t size, size_t count, void* self) {
    auto* request = static_cast<CurlRequest*>(self);
    const size_t n = size * count;
    if ((n == 2 && data[0] == '\r' && data[1] == '\n') || (n == 1 && data[0] == '\n')) {
      long status = 0;
      curl_easy_getinfo(request->easy_, CURLINFO_RESPONSE_CODE, &status);
      // 1xx answers are followed by the real one.
      if (status >= 200) {
        request->status_ = status;
        request->headersDone_ = true;
      }
    }
    return n;
  }

  static size_t OnBody(char* data, size_t size, size_t count, void* self) {
    return static_cast<CurlRequest*>(self)->Store(data, size * count);
  }

  size_t Store(const char* data, size_t n) {
    if (tail_ + n > kBufferBytes) {
      paused_ = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    std::memcpy(buffer_.get() + tail_, data, n);
    tail_ += n;
    return n;
  }

  CURLM* multi_;
  CURL* easy_;
  curl_slist* headers_ = nullptr;
  bool added_ = false;
  bool headersDone_ = false;
  bool done_ = false;
  bool paused_ = false;
  CURLcode result_ = CURLE_OK;
  char errorText_[CURL_ERROR_SIZE] = {};
  long status_ = 0;
  // Pages are touched only as far as a body fills them.
  std::unique_ptr<char[]> buffer_ = std::make_unique_for_overwrite<char[]>(kBufferBytes);
  size_t head_ = 0;  // bytes head_ to tail_ are not yet read
  size_t tail_ = 0;
};

class CurlSession final : public HttpSession {
 public:
  explicit CurlSession(RequestSettings settings) : settings_(std::move(settings)) {}

  std::unique_ptr<HttpRequest> OpenUrl(const std::u16string& url, uint32_t) override {
    // Every request goes to the server: no cache is involved, and the
    // no-cache headers keep proxies from answering from theirs.
    std::string current = ToUtf8(url);
    failureCause_.clear();
    for (int redirects = 0;; ++redirects) {
      auto request = std::make_unique<CurlRequest>();
      if (!request->Start(current, settings_)) {
        failureCause_ = request->FailureCause();
        return nullptr;
      }
      const std::string target = request->RedirectTarget();
      if (target.empty()) return request;
      if (redirects == kMaxRedirects) {
        failureCause_ = "more than " + std::to_string(kMaxRedirects) + " redirects";
        return nullptr;
      }
      // Never from an encrypted answer to a plain one.
      if (StartsWithNoCase(current, "https:") && !StartsWithNoCase(target, "https:")) {
        failureCause_ = "redirect from https to " + target;
        return nullptr;
      }
      current = target;
    }
  }

  std::string FailureCause() const override { return failureCause_; }

 private:
  RequestSettings settings_;
  std::string failureCause_;
};

class CurlHttp final : public HttpPort {
 public:
  CurlHttp() : ready_(curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK) {}
  ~CurlHttp() override {
    if (ready_) curl_global_cleanup();
  }
  CurlHttp(const CurlHttp&) = delete;
  CurlHttp& operator=(const CurlHttp&) = delete;

  std::unique_ptr<HttpSession> Open(const std::u16string& userAgent) override {
    if (!ready_) return nullptr;
    RequestSettings settings;
    settings.userAgent = ToUtf8(userAgent);
    if (const char* bundle = std::getenv("QARX_CA_BUNDLE"); bundle && *bundle) settings.caBundle = bundle;
    return std::make_unique<CurlSession>(std::move(settings));
  }

 private:
  const bool ready_;
};

}  // namespace

std::unique_ptr<HttpPort> MakeHttpPort() { return std::make_unique<CurlHttp>(); }

}  // namespace qarx::linux_port
