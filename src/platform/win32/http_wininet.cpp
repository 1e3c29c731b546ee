// HttpPort over WinINet: InternetOpenW with the system's preconfigured proxy,
// InternetOpenUrlW, HttpQueryInfoW for the status and InternetReadFile.
//
// Redirects are followed here rather than by WinINet, so that the rules are
// the same on every system: at most five, and never from https to another
// scheme. Connect and receive time-outs come from QARX_HTTP_CONNECT_TIMEOUT
// (seconds, default 30) and QARX_HTTP_LOW_SPEED_TIME (seconds without data,
// default 60), so a dead or stalled server cannot hold a job for ever. (Wine's
// WinINet keeps its own 30-second receive time-out instead.) A body that ends
// before its announced length is a failed read, not an end.
#include "platform/win32/windows_sdk.h"

#include <cwchar>
#include <string>

#include "platform/os.h"
#include "platform/win32/error_text.h"
#include "platform/win32/win32_ports.h"

namespace qarx::win32 {

namespace {

constexpr int kMaxRedirects = 5;

DWORD EnvMilliseconds(const char* name, DWORD fallbackSeconds) {
  const auto text = os::Environment(name);
  if (!text) return fallbackSeconds * 1000;
  char* end = nullptr;
  const long value = std::strtol(text->c_str(), &end, 10);
  return (*end == '\0' && value > 0 && value < 2000000) ? static_cast<DWORD>(value) * 1000 : fallbackSeconds * 1000;
}

// Closes a WinINet handle when it goes out of scope.
class NetHandle {
 public:
  explicit NetHandle(HINTERNET handle = nullptr) : handle_(handle) {}
  ~NetHandle() {
    if (handle_) InternetCloseHandle(handle_);
  }
  NetHandle(const NetHandle&) = delete;
  NetHandle& operator=(const NetHandle&) = delete;
  HINTERNET get() const { return handle_; }

 private:
  HINTERNET handle_;
};

bool QueryNumber(HINTERNET request, DWORD info, DWORD& number) {
  DWORD size = sizeof number;
  DWORD index = 0;
  return HttpQueryInfoW(request, info | HTTP_QUERY_FLAG_NUMBER, &number, &size, &index) != 0;
}

std::wstring QueryText(HINTERNET request, DWORD info) {
  DWORD size = 0;
  DWORD index = 0;
  HttpQueryInfoW(request, info, nullptr, &size, &index);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  index = 0;
  if (!HttpQueryInfoW(request, info, text.data(), &size, &index)) return {};
  text.resize(size / sizeof(wchar_t));
  return text;
}

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
  const size_t n = std::wcslen(prefix);
  return text.size() >= n && _wcsnicmp(text.c_str(), prefix, n) == 0;
}

// location resolved against base; empty when it cannot be.
std::wstring CombineUrl(const std::wstring& base, const std::wstring& location) {
  DWORD size = 0;
  InternetCombineUrlW(base.c_str(), location.c_str(), nullptr, &size, ICU_NO_ENCODE);
  if (size == 0) return {};
  std::wstring combined(size + 1, L'\0');
  if (!InternetCombineUrlW(base.c_str(), location.c_str(), combined.data(), &size, ICU_NO_ENCODE)) return {};
  combined.resize(size);
  return combined;
}

class WinInetRequest final : public HttpRequest {
 public:
  explicit WinInetRequest(HINTERNET handle) : handle_(handle) {
    DWORD length = 0;
    if (QueryNumber(handle, HTTP_QUERY_CONTENT_LENGTH, length)) announced_ = length;
  }

  uint32_t StatusCode() override {
    DWORD status = 0;
    return QueryNumber(handle_.get(), HTTP_QUERY_STATUS_CODE, status) ? status : 0;
  }

  bool Read(void* buffer, uint32_t toRead, uint32_t& read) override {
    read = 0;
    auto* bytes = static_cast<char*>(buffer);
    while (read < toRead) {
      DWORD got = 0;
      if (!InternetReadFile(handle_.get(), bytes + read, toRead - read, &got)) {
        failureCause_ = WindowsErrorText(GetLastError());
        return false;
      }
      if (got == 0) {
        // A connection that closes early looks like the end of the body.
        if (announced_ >= 0 && received_ < announced_) {
          failureCause_ = "the connection closed after " + std::to_string(received_) + " of " +
                          std::to_string(announced_) + " bytes";
          return false;
        }
        break;
      }
      read += got;
      received_ += got;
    }
    return true;
  }

  std::string FailureCause() const override { return failureCause_; }

 private:
  NetHandle handle_;
  long long announced_ = -1;
  long long received_ = 0;
  std::string failureCause_;
};

class WinInetSession final : public HttpSession {
 public:
  explicit WinInetSession(HINTERNET handle) : handle_(handle) {}

  std::unique_ptr<HttpRequest> OpenUrl(const std::u16string& url, uint32_t flags) override {
    std::wstring current(Wide(url));
    failureCause_.clear();
    for (int redirects = 0;; ++redirects) {
      HINTERNET request = InternetOpenUrlW(handle_.get(), current.c_str(), nullptr, 0,
                                           flags | INTERNET_FLAG_NO_AUTO_REDIRECT, 0);
      if (!request) {
        failureCause_ = WindowsErrorText(GetLastError());
        return nullptr;
      }
      auto answer = std::make_unique<WinInetRequest>(request);
      const uint32_t status = answer->StatusCode();
      const std::wstring location =
          status >= 300 && status <= 399 ? QueryText(request, HTTP_QUERY_LOCATION) : std::wstring();
      if (location.empty()) return answer;
      if (redirects == kMaxRedirects) {
        failureCause_ = "more than " + std::to_string(kMaxRedirects) + " redirects";
        return nullptr;
      }
      const std::wstring target = CombineUrl(current, location);
      if (target.empty()) {
        failureCause_ = "a redirect to an address that cannot be formed";
        return nullptr;
      }
      // Never from an encrypted answer to a plain one.
      if (StartsWithNoCase(current, L"https:") && !StartsWithNoCase(target, L"https:")) {
        failureCause_ = "redirect from https to another scheme";
        return nullptr;
      }
      current = target;
    }
  }

  std::string FailureCause() const override { return failureCause_; }

 private:
  NetHandle handle_;
  std::string failureCause_;
};

class WinInetHttp final : public HttpPort {
 public:
  std::unique_ptr<HttpSession> Open(const std::u16string& userAgent) override {
    HINTERNET handle = InternetOpenW(Wide(userAgent), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!handle) return nullptr;
    DWORD connect = EnvMilliseconds("QARX_HTTP_CONNECT_TIMEOUT", 30);
    DWORD receive = EnvMilliseconds("QARX_HTTP_LOW_SPEED_TIME", 60);
    InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
    InternetSetOptionW(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
    InternetSetOptionW(handle, INTERNET_OPTION_SEND_TIMEOUT, &receive, sizeof receive);
    return std::make_unique<WinInetSession>(handle);
  }
};

}  // namespace

std::unique_ptr<HttpPort> MakeHttpPort() { return std::make_unique<WinInetHttp>(); }

}  // namespace qarx::win32
