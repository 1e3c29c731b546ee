#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "common/text.h"
#include "platform/linux/linux_ports.h"
#include "update_server_process.h"

namespace qarx::linux_port {
namespace {

using testing::Pattern;
using testing::ReadFile;
using testing::UpdateServerProcess;
namespace fs = std::filesystem;

class HttpCurl : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("QARX_CA_BUNDLE");
    unsetenv("QARX_HTTP_LOW_SPEED_TIME");
    for (const char* proxy : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) unsetenv(proxy);
    dir_ = fs::temp_directory_path() / ("qarx-http-" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::unique_ptr<HttpRequest> Open(const std::string& url) {
    session_ = http_->Open(u"Tesmova");
    return session_ ? session_->OpenUrl(FromUtf8(url), INTERNET_FLAG_RELOAD) : nullptr;
  }
  // Reads to the end; the sizes of the pieces, or -1 for a failed read.
  static std::vector<int> Drain(HttpRequest& request, std::string& body, uint32_t pieceBytes = 1024) {
    std::vector<int> sizes;
    std::vector<char> piece(pieceBytes);
    for (;;) {
      uint32_t read = 0;
      if (!request.Read(piece.data(), pieceBytes, read)) {
        sizes.push_back(-1);
        return sizes;
      }
      sizes.push_back(static_cast<int>(read));
      body.append(piece.data(), read);
      if (read == 0) return sizes;
    }
  }

  fs::path dir_;
  std::unique_ptr<HttpPort> http_ = MakeHttpPort();
  std::unique_ptr<HttpSession> session_;
};

// The pieces a reader should get: full ones, the rest, then the empty end.
std::vector<int> FullPieces(size_t bodyBytes, uint32_t pieceBytes) {
  std::vector<int> sizes(bodyBytes / pieceBytes, static_cast<int>(pieceBytes));
  if (bodyBytes % pieceBytes) sizes.push_back(static_cast<int>(bodyBytes % pieceBytes));
  sizes.push_back(0);
  return sizes;
}

TEST_F(HttpCurl, ReadsFullPiecesWhateverTheServerSends) {
  struct Row {
    const char* plan;
    size_t size;
    uint32_t pieceBytes;
  };
  // Small chunks arriving slowly, and bodies many times the adapter's buffer
  // arriving at once, so it fills, pauses and is refilled mid-piece.
  const Row rows[] = {
      {R"({"size":5000,"chunk":700,"delay":0.01})", 5000, 1024},
      {R"({"size":1024})", 1024, 1024},
      {R"({"size":3145728,"chunk":1048576})", 3145728, 1024},
      {R"({"size":3000001,"chunk":65536})", 3000001, 1000},
      {R"({"size":2097153,"chunk":16383})", 2097153, 1024},
  };
  const std::string log = (dir_ / "log.jsonl").string();
  std::vector<std::string> routes;
  for (size_t i = 0; i < std::size(rows); ++i) routes.push_back("/b" + std::to_string(i) + "=" + rows[i].plan);
  UpdateServerProcess server(routes, {}, log);
  ASSERT_FALSE(server.url().empty());
  for (size_t i = 0; i < std::size(rows); ++i) {
    auto request = Open(server.url() + "/b" + std::to_string(i));
    ASSERT_NE(request, nullptr) << rows[i].plan;
    EXPECT_EQ(request->StatusCode(), 200u);
    std::string body;
    EXPECT_EQ(Drain(*request, body, rows[i].pieceBytes), FullPieces(rows[i].size, rows[i].pieceBytes))
        << rows[i].plan;
    EXPECT_TRUE(body == Pattern(rows[i].size)) << rows[i].plan;
  }
  const std::string requests = ReadFile(log);
  EXPECT_NE(requests.find(R"("User-Agent": "Tesmova")"), std::string::npos) << requests;
  EXPECT_NE(requests.find(R"("Cache-Control": "no-cache")"), std::string::npos) << requests;
  EXPECT_NE(requests.find(R"("Pragma": "no-cache")"), std::string::npos) << requests;
}

TEST_F(HttpCurl, ReportsTheFinalStatus) {
  UpdateServerProcess server({R"(/gone={"status":404,"body":"<html>gone</html>"})", R"(/err={"status":500})",
                              R"(/empty={"size":0})", R"(/hop={"location":"/gone"})"});
  ASSERT_FALSE(server.url().empty());
  const std::pair<const char*, uint32_t> rows[] = {{"/gone", 404}, {"/err", 500}, {"/empty", 200}, {"/hop", 404}};
  for (auto [path, status] : rows) {
    auto request = Open(server.url() + path);
    ASSERT_NE(request, nullptr) << path;
    EXPECT_EQ(request->StatusCode(), status) << path;
  }
  std::string body;
  EXPECT_EQ(Drain(*Open(server.url() + "/empty"), body), (std::vector<int>{0}));
}

TEST_F(HttpCurl, FollowsAtMostFiveRedirects) {
  std::vector<std::string> routes = {R"(/r0={"size":10})"};
  for (int i = 1; i <= 6; ++i)
    routes.push_back("/r" + std::to_string(i) + R"(={"location":"/r)" + std::to_string(i - 1) + R"("})");
  UpdateServerProcess server(routes);
  ASSERT_FALSE(server.url().empty());
  auto five = Open(server.url() + "/r5");
  ASSERT_NE(five, nullptr);
  EXPECT_EQ(five->StatusCode(), 200u);
  EXPECT_EQ(Open(server.url() + "/r6"), nullptr);
}

TEST_F(HttpCurl, UnreachableServerAndBadUrlCannotBeOpened) {
  EXPECT_EQ(Open("http://127.0.0.1:1/x"), nullptr);
  EXPECT_EQ(Open(""), nullptr);
  EXPECT_EQ(Open("ftp://127.0.0.1/x"), nullptr);
}

TEST_F(HttpCurl, ResetMidBodyFailsARead) {
  UpdateServerProcess server({R"(/cut={"size":100000,"reset_after":5000})"});
  ASSERT_FALSE(server.url().empty());
  auto request = Open(server.url() + "/cut");
  ASSERT_NE(request, nullptr);
  std::string body;
  EXPECT_EQ(Drain(*request, body).back(), -1);
  EXPECT_LT(body.size(), 100000u);
}

TEST_F(HttpCurl, StalledTransfersAreAbandoned) {
  setenv("QARX_HTTP_LOW_SPEED_TIME", "2", 1);
  // The server would stall for an hour: only giving up ends these calls.
  UpdateServerProcess server({R"(/silent={"stall":3600})", R"(/halfway={"size":10000,"stall_after":[3000,3600]})"});
  ASSERT_FALSE(server.url().empty());
  EXPECT_EQ(Open(server.url() + "/silent"), nullptr);
  auto request = Open(server.url() + "/halfway");
  ASSERT_NE(request, nullptr);
  std::string body;
  EXPECT_EQ(Drain(*request, body).back(), -1);
  EXPECT_EQ(body, Pattern(2048));
}

TEST_F(HttpCurl, HttpsTrustsTheExtraBundleAndNeverRedirectsToPlainHttp) {
  const std::string cert = (dir_ / "cert.pem").string();
  const std::string key = (dir_ / "key.pem").string();
  const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
                           "-addext subjectAltName=IP:127.0.0.1 -keyout " + key + " -out " + cert + " 2>/dev/null";
  if (std::system(make.c_str()) != 0) GTEST_SKIP() << "openssl cannot make a certificate";
  UpdateServerProcess plain({R"(/a={"size":10})"});
  ASSERT_FALSE(plain.url().empty());
  UpdateServerProcess tls({R"(/a={"size":10})", "/down={\"location\":\"" + plain.url() + "/a\"}",
                           R"(/up={"location":"/a"})"},
                          {"--tls-cert", cert, "--tls-key", key});
  ASSERT_FALSE(tls.url().empty());

  EXPECT_EQ(Open(tls.url() + "/a"), nullptr);  // not trusted without the bundle
  setenv("QARX_CA_BUNDLE", cert.c_str(), 1);
  auto trusted = Open(tls.url() + "/a");
  ASSERT_NE(trusted, nullptr);
  EXPECT_EQ(trusted->StatusCode(), 200u);
  EXPECT_NE(Open(tls.url() + "/up"), nullptr);
  EXPECT_EQ(Open(tls.url() + "/down"), nullptr);
}

}  // namespace
}  // namespace qarx::linux_port
