#include "support/fake_http.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/text.h"

namespace qarx::testing {

class FakeHttpRequest : public HttpRequest {
 public:
  FakeHttpRequest(FakeHttp& http, FakeAnswer answer) : http_(http), answer_(std::move(answer)) {}
  ~FakeHttpRequest() override { http_.Event("close request"); }
  uint32_t StatusCode() override { return answer_.status; }
  // Like the adapter: full pieces unless the body ends first.
  bool Read(void* buffer, uint32_t toRead, uint32_t& read) override {
    read = 0;
    if (++reads_ == answer_.failReadAt) {
      http_.Event("read failed");
      return false;
    }
    const size_t n = std::min<size_t>(toRead, answer_.body.size() - offset_);
    std::memcpy(buffer, answer_.body.data() + offset_, n);
    offset_ += n;
    read = static_cast<uint32_t>(n);
    http_.Event("read " + std::to_string(n));
    return true;
  }
  std::string FailureCause() const override { return answer_.cause; }

 private:
  FakeHttp& http_;
  FakeAnswer answer_;
  size_t offset_ = 0;
  int reads_ = 0;
};

class FakeHttpSession : public HttpSession {
 public:
  explicit FakeHttpSession(FakeHttp& http) : http_(http) {}
  ~FakeHttpSession() override { http_.Event("close session"); }
  std::unique_ptr<HttpRequest> OpenUrl(const std::u16string& url, uint32_t flags) override {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", flags);
    http_.Event("open " + ToUtf8(url) + " " + hex);
    FakeAnswer answer;
    {
      std::lock_guard lock(http_.mu_);
      ++http_.opens_[url];
      auto it = http_.answers_.find(url);
      cause_ = it == http_.answers_.end() ? std::string() : it->second.cause;
      if (it == http_.answers_.end() || it->second.failOpen) return nullptr;
      answer = it->second;
    }
    return std::make_unique<FakeHttpRequest>(http_, std::move(answer));
  }
  std::string FailureCause() const override { return cause_; }

 private:
  FakeHttp& http_;
  std::string cause_;
};

std::unique_ptr<HttpSession> FakeHttp::Open(const std::u16string& userAgent) {
  Event("session " + ToUtf8(userAgent));
  if (failSession) return nullptr;
  return std::make_unique<FakeHttpSession>(*this);
}

void FakeHttp::Serve(const std::u16string& url, FakeAnswer answer) {
  std::lock_guard lock(mu_);
  answers_[url] = std::move(answer);
}

void FakeHttp::Forget(const std::u16string& url) {
  std::lock_guard lock(mu_);
  answers_.erase(url);
}

std::vector<std::string> FakeHttp::events() const {
  std::lock_guard lock(mu_);
  return events_;
}

int FakeHttp::opens(const std::u16string& url) const {
  std::lock_guard lock(mu_);
  auto it = opens_.find(url);
  return it == opens_.end() ? 0 : it->second;
}

void FakeHttp::Event(const std::string& line) {
  {
    std::lock_guard lock(mu_);
    events_.push_back(line);
  }
  if (onEvent) onEvent(line);
}

}  // namespace qarx::testing
