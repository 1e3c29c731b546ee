#include <gtest/gtest.h>

#include "download/temp_fetch.h"
#include "support/download_world.h"

namespace qarx {
namespace {

using testing::DownloadWorld;
using testing::FakeAnswer;
using testing::FakeHash;

const std::u16string kUrl = u"https://update.test/static/basis/ic/x.exe";
const std::u16string kName = u"VLT_Terminal_Server.exe";

// One row of the fetch's result table: how the world fails, and what the
// fetch must leave behind.
struct FetchRow {
  const char* label;
  std::function<void(DownloadWorld&)> arrange;
  int32_t result;
  bool oldFileKept;    // an earlier file of the name is still there, unchanged
  bool fileLeft;       // a file of the name exists afterwards
  bool sessionOpened;  // a client handle was asked for
};

class FetchRows : public ::testing::TestWithParam<FetchRow> {};

TEST_P(FetchRows, ResultAndFileState) {
  const FetchRow& row = GetParam();
  DownloadWorld w;
  w.files.Put(kName, "old installer");
  w.http.Serve(kUrl, FakeAnswer{200, DownloadWorld::Body(3000)});
  row.arrange(w);

  EXPECT_EQ(FetchToTemp(w.platform, kName, kUrl), row.result);
  EXPECT_EQ(w.files.Has(kName), row.fileLeft);
  if (row.oldFileKept) {
    EXPECT_EQ(w.files.Content(kName), "old installer");
  }
  bool session = false;
  for (const auto& e : w.http.events()) session = session || e.rfind("session", 0) == 0;
  EXPECT_EQ(session, row.sessionOpened);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FetchRows,
    ::testing::Values(
        FetchRow{"received", [](DownloadWorld&) {}, 0, false, true, true},
        FetchRow{"folder_does_not_fit", [](DownloadWorld& w) { w.files.reportedLength = 261; }, -1, true, true,
                 false},
        FetchRow{"full_path_does_not_fit",
                 [](DownloadWorld& w) { w.files.tempPath = u"/" + std::u16string(236, u'd') + u"/"; }, -1, false,
                 false, false},
        FetchRow{"create_fails", [](DownloadWorld& w) { w.files.failCreate = true; }, -2, false, false, false},
        FetchRow{"no_client_handle", [](DownloadWorld& w) { w.http.failSession = true; }, -3, false, false, true},
        FetchRow{"url_not_opened", [](DownloadWorld& w) { w.http.Forget(kUrl); }, -4, false, false, true},
        FetchRow{"not_found_page",
                 [](DownloadWorld& w) { w.http.Serve(kUrl, FakeAnswer{404, "<html>not found</html>"}); }, -4,
                 false, false, true},
        FetchRow{"server_error", [](DownloadWorld& w) { w.http.Serve(kUrl, FakeAnswer{500, "oops"}); }, -4, false,
                 false, true},
        FetchRow{"redirect_not_followed", [](DownloadWorld& w) { w.http.Serve(kUrl, FakeAnswer{302, ""}); }, -4,
                 false, false, true},
        FetchRow{"read_fails_mid_body",
                 [](DownloadWorld& w) {
                   w.http.Serve(kUrl, FakeAnswer{200, DownloadWorld::Body(3000), false, 3});
                 },
                 -5, false, false, true},
        // Pieces are gathered: a short body is one write, at its end.
        FetchRow{"last_write_fails", [](DownloadWorld& w) { w.files.failWriteAt = 1; }, -6, false, false, true},
        FetchRow{"write_fails_mid_body",
                 [](DownloadWorld& w) {
                   w.http.Serve(kUrl, FakeAnswer{200, DownloadWorld::Body(200 * 1024)});
                   w.files.failWriteAt = 2;
                 },
                 -6, false, false, true},
        FetchRow{"read_fails_after_a_failed_write",
                 [](DownloadWorld& w) {
                   w.http.Serve(kUrl, FakeAnswer{200, DownloadWorld::Body(200 * 1024), false, 100});
                   w.files.failWriteAt = 1;
                 },
                 -6, false, false, true},
        FetchRow{"empty_body", [](DownloadWorld& w) { w.http.Serve(kUrl, FakeAnswer{200, ""}); }, 0, false, true,
                 true},
        FetchRow{"no_content_status", [](DownloadWorld& w) { w.http.Serve(kUrl, FakeAnswer{204, ""}); }, 0, false,
                 true, true}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(FetchToTemp, StoresTheWholeBodyInFullPieces) {
  DownloadWorld w;
  const std::string body = DownloadWorld::Body(2500);
  w.http.Serve(kUrl, FakeAnswer{200, body});
  ASSERT_EQ(FetchToTemp(w.platform, kName, kUrl), 0);
  EXPECT_EQ(w.files.Content(kName), body);
  const std::vector<std::string> expected = {"session Tesmova", "open " + std::string(kUrl.begin(), kUrl.end()) + " 80000000",
                                             "read 1024", "read 1024", "read 452", "read 0",
                                             "close session", "close request"};
  EXPECT_EQ(w.http.events(), expected);
}

TEST(FetchToTemp, GathersPiecesIntoLargerWrites) {
  DownloadWorld w;
  const std::string body = DownloadWorld::Body(200 * 1024);
  w.http.Serve(kUrl, FakeAnswer{200, body});
  ASSERT_EQ(FetchToTemp(w.platform, kName, kUrl), 0);
  EXPECT_EQ(w.files.Content(kName), body);
  const std::string write = "write VLT_Terminal_Server.exe ";
  EXPECT_EQ(w.files.events(),
            (std::vector<std::string>{"create VLT_Terminal_Server.exe", write + "65536", write + "65536",
                                      write + "65536", write + "8192", "close VLT_Terminal_Server.exe"}));
}

TEST(FetchToTemp, ReleasesFileThenClientThenRequest) {
  DownloadWorld w;
  std::vector<std::string> order;
  w.files.onEvent = [&](const std::string& e) { if (e.rfind("close", 0) == 0) order.push_back("file"); };
  w.http.onEvent = [&](const std::string& e) {
    if (e == "close session") order.push_back("client");
    if (e == "close request") order.push_back("request");
  };
  w.http.Serve(kUrl, FakeAnswer{200, "x"});
  ASSERT_EQ(FetchToTemp(w.platform, kName, kUrl), 0);
  EXPECT_EQ(order, (std::vector<std::string>{"file", "client", "request"}));
}

TEST(FetchToTemp, FailedFetchDeletesOnlyAfterClosing) {
  DownloadWorld w;
  w.http.Serve(kUrl, FakeAnswer{200, DownloadWorld::Body(2048), false, 2});
  EXPECT_EQ(FetchToTemp(w.platform, kName, kUrl), -5);
  const auto events = w.files.events();
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events[events.size() - 2], "close VLT_Terminal_Server.exe");
  EXPECT_EQ(events.back(), "delete VLT_Terminal_Server.exe");
}

TEST(FetchToTemp, SecondFetchOfANameBeingWrittenFails) {
  DownloadWorld w;
  const std::string body = DownloadWorld::Body(4096);
  w.http.Serve(kUrl, FakeAnswer{200, body});
  int32_t inner = 1;
  bool nested = false;
  w.files.onEvent = [&](const std::string& e) {
    if (!nested && e.rfind("write", 0) == 0) {
      nested = true;
      inner = FetchToTemp(w.platform, kName, kUrl);
    }
  };
  EXPECT_EQ(FetchToTemp(w.platform, kName, kUrl), 0);
  EXPECT_EQ(inner, -2);
  EXPECT_EQ(w.files.Content(kName), body);
}

TEST(RunFromTemp, StartsTheFullPathAndReadsTheLauncherValue) {
  struct Row {
    uint32_t launcherValue;
    int32_t result;
  };
  for (const Row row : {Row{31, -1}, Row{32, 0}, Row{33, 0}, Row{0, -1}, Row{0xFFFFFFFFu, 0}}) {
    DownloadWorld w;
    w.files.Put(kName, "x");
    w.launcher.executeResult = row.launcherValue;
    EXPECT_EQ(RunFromTemp(w.platform, kName), row.result) << row.launcherValue;
    ASSERT_EQ(w.launcher.executed().size(), 1u);
    EXPECT_EQ(w.launcher.executed()[0].target, u"/tmp/qarx-test/VLT_Terminal_Server.exe");
    EXPECT_EQ(w.launcher.executed()[0].showCode, 5);
  }
}

TEST(RunFromTemp, MissingFileOrFolderStartsNothing) {
  DownloadWorld w;
  EXPECT_EQ(RunFromTemp(w.platform, kName), -1);
  w.files.Put(kName, "x");
  w.files.reportedLength = 300;
  EXPECT_EQ(RunFromTemp(w.platform, kName), -1);
  EXPECT_TRUE(w.launcher.executed().empty());
}

TEST(PackageHooks, WithoutDigestAcceptUnreadAndKnowNoVersion) {
  DownloadWorld w;
  EXPECT_EQ(CheckPackage(w.platform, u"no such file.exe", u""), 0);
  EXPECT_EQ(CheckPackage(w.platform, u"", u""), 0);
  w.files.reportedLength = 300;
  EXPECT_EQ(CheckPackage(w.platform, kName, u""), 0);
  EXPECT_EQ(w.hash.calls, 0);
  uint32_t a = 1, b = 2, c = 3, d = 4;
  EXPECT_EQ(ProbeFileVersion(u"/tmp/x.exe", a, b, c, d), -1);
  EXPECT_EQ(a + b * 10 + c * 100 + d * 1000, 4321u);
}

// What CheckPackage answers for a file of the temporary folder and a digest.
TEST(PackageHooks, DigestDecidesOnlyWhenGiven) {
  const std::u16string good = FakeHash::Hex("MZ payload");
  std::u16string upper = good;
  for (char16_t& c : upper) c = static_cast<char16_t>(c >= u'a' ? c - 32 : c);
  const struct {
    const char* label;
    std::u16string digest;
    bool filePresent;
    int32_t result;
  } rows[] = {
      {"match", good, true, 0},
      {"upper_case", upper, true, 0},
      {"differs", FakeHash::Hex("MZ payloae"), true, -3},
      {"short", good.substr(0, 63), true, -1},
      {"long", good + u"a", true, -1},
      {"blank_inside", good.substr(0, 32) + u" " + good.substr(33), true, -1},
      {"no_file", good, false, -2},
  };
  for (const auto& row : rows) {
    DownloadWorld w;
    if (row.filePresent) w.files.Put(kName, "MZ payload");
    EXPECT_EQ(CheckPackage(w.platform, kName, row.digest), row.result) << row.label;
  }
  DownloadWorld w;
  w.files.Put(kName, "MZ payload");
  w.files.reportedLength = 300;
  EXPECT_EQ(CheckPackage(w.platform, kName, good), -2) << "folder does not fit";
}

}  // namespace
}  // namespace qarx
