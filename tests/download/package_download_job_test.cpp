#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>

#include "common/text.h"
#include "download/package_download_job.h"
#include "download/temp_fetch.h"
#include "firmware/firmware_update_handle.h"
#include "support/download_world.h"

namespace qarx {
namespace {

using testing::DownloadWorld;
using testing::FakeAnswer;
using testing::FakeHash;

const std::u16string kControlUrl = u"https://update.test/static/basis/ic/ICCardSetup_1.0.0.1.exe";
const std::u16string kFirmwareUrl = u"https://update.test/cos/VLT100.exe";

int32_t RunJob(DownloadWorld& w, int32_t kind, const PackageHooks& hooks = DefaultPackageHooks()) {
  auto args = std::make_shared<DownloadJobArgs>();
  args->dialog = &w.dlg;
  args->kind = kind;
  return PackageDownloadJob(std::move(args), hooks);
}

void SetPackage(DownloadWorld& w, int kind, const std::u16string& url, int32_t sizeKb) {
  PackageInfo info = w.dlg.GetPackage(kind);
  info.URL = url;
  info.Size = sizeKb;
  w.dlg.SetPackage(kind, info);
}

// Progress positions sent since the world was set up.
std::vector<int> Positions(const DownloadWorld& w) {
  std::vector<int> out;
  for (const std::string& c : w.fake.ui.calls())
    if (c.rfind("pos ", 0) == 0) out.push_back(std::stoi(c.substr(4)));
  return out;
}

std::vector<std::string> Without(std::vector<std::string> calls, const std::string& prefix) {
  std::erase_if(calls, [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
  return calls;
}

TEST(PackageDownloadJob, KindOutsideOneToFourOnlySaysConfigurationError) {
  for (int32_t kind : {0, 5, -1}) {
    DownloadWorld w;
    bool exists = false;
    g_hFirmwareUpdateMutex = w.fake.mutexes.Create(std::u16string(kFirmwareUpdateMutexName), true, exists);
    EXPECT_EQ(RunJob(w, kind), -1);
    EXPECT_EQ(w.fake.ui.calls(), (std::vector<std::string>{"status 配置文件错误!"}));
    EXPECT_TRUE(w.http.events().empty());
    EXPECT_NE(g_hFirmwareUpdateMutex, nullptr);
    g_hFirmwareUpdateMutex.reset();
  }
}

TEST(PackageDownloadJob, SuccessfulDownloadShowsTheExactSequence) {
  DownloadWorld w;
  w.dlg.SetPackage(3, PackageInfo{u"https://update.test/s.exe", 3, 1, 0, 0, 1, u""});
  w.http.Serve(u"https://update.test/s.exe", FakeAnswer{200, DownloadWorld::Body(2500)});
  w.fake.ui.QueueAnswers({IDYES});

  EXPECT_EQ(RunJob(w, 3), 0);
  const std::vector<std::string> expected = {
      "status 开始下载最新的服务程序!",
      "show 5",
      "tray add 128",
      "show 1",
      // Set again after every piece, but an unchanged text is not sent.
      "status 正在下载最新程序……",
      "pos 1",
      "pos 2",
      "pos 3",
      "pos 100",
      "tray delete 128",
      "show 0",
      "show 0",
      "status 最新服务程序下载完成!",
      "box Veltrane服务程序提示 |  最新的服务程序下载完成!\r\n\r\n是否需要立即安装最新程序? -> 6",
      "pos 0",
  };
  EXPECT_EQ(w.fake.ui.calls(), expected);
  EXPECT_EQ(w.files.Content(u"VLT_Terminal_Server.exe"), DownloadWorld::Body(2500));
  ASSERT_EQ(w.launcher.executed().size(), 1u);
  EXPECT_EQ(w.launcher.executed()[0].target, u"/tmp/qarx-test/VLT_Terminal_Server.exe");
  EXPECT_EQ(w.fake.ui.boxes()[0].style, MB_YESNO | MB_ICONQUESTION);
  EXPECT_EQ(w.fake.ui.boxes()[0].owner, BoxOwner::Desktop);
  EXPECT_EQ(w.dlg.m_bDownloading, 0);
  EXPECT_EQ(w.dlg.m_nTrayRefCount, 0);
}

// Positions sent for a body of `pieces` full pieces with the given size.
std::vector<int> PositionsFor(int32_t sizeKb, size_t pieces) {
  DownloadWorld w;
  SetPackage(w, 1, u"https://update.test/c.exe", sizeKb);
  w.http.Serve(u"https://update.test/c.exe", FakeAnswer{200, DownloadWorld::Body(pieces * 1024)});
  EXPECT_EQ(RunJob(w, 1), 0);
  return Positions(w);
}

TEST(PackageDownloadJob, DefaultDriverSizeStepsAfterThe21stAnd41stPiece) {
  // 2048 KB: one step is 20971 bytes; after 21 pieces 533 bytes carry over.
  for (size_t pieces : {20u, 21u, 40u, 41u}) {
    const std::vector<int> positions = PositionsFor(2048, pieces);
    std::vector<int> expected;
    if (pieces >= 21) expected.push_back(1);
    if (pieces >= 41) expected.push_back(2);
    expected.push_back(100);
    expected.push_back(0);
    EXPECT_EQ(positions, expected) << pieces << " pieces";
  }
}

TEST(PackageDownloadJob, SmallSizeStepsOncePerPieceThenJumpsTo100) {
  std::vector<int> expected;
  for (int i = 1; i <= 30; ++i) expected.push_back(i);
  expected.push_back(100);
  expected.push_back(0);
  EXPECT_EQ(PositionsFor(30, 30), expected);
}

TEST(PackageDownloadJob, SizeZeroStepsEveryPieceAndPassesPositionsAbove100) {
  const std::vector<int> positions = PositionsFor(0, 130);
  ASSERT_EQ(positions.size(), 132u);
  EXPECT_EQ(positions[99], 100);
  EXPECT_EQ(positions[129], 130);
  EXPECT_EQ(positions[130], 100);
  EXPECT_EQ(positions[131], 0);
}

TEST(PackageDownloadJob, StepNeedsStrictlyMoreThanOnePercent) {
  // 100 KB: one percent is exactly one full piece, which is not more than it.
  for (auto [bytes, expected] : {std::pair<size_t, std::vector<int>>{3 * 1024, {1, 2, 100, 0}},
                                 std::pair<size_t, std::vector<int>>{3 * 1024 + 1, {1, 2, 3, 100, 0}}}) {
    DownloadWorld w;
    SetPackage(w, 3, u"https://update.test/s.exe", 100);
    w.http.Serve(u"https://update.test/s.exe", FakeAnswer{200, DownloadWorld::Body(bytes)});
    EXPECT_EQ(RunJob(w, 3), 0);
    EXPECT_EQ(Positions(w), expected) << bytes;
  }
}

// Writes are gathered up to each progress step and the end of the body, so
// a failing write stops the job at the same position as a failing piece.
TEST(PackageDownloadJob, WritesAreGatheredUpToEachStep) {
  struct Row {
    size_t pieces;
    int failWriteAt;
    int failReadAt;
    int32_t result;
    std::vector<std::string> writes;  // bytes @ positions shown when written
    std::vector<int> positions;
  };
  // 2048 KB: steps after the 21st and the 41st piece.
  const Row rows[] = {
      {41, 0, 0, 0, {"21504@0", "20480@1"}, {1, 2, 100, 0}},
      {30, 0, 0, 0, {"21504@0", "9216@1"}, {1, 100, 0}},
      {41, 1, 0, -6, {"21504@0 failed"}, {0}},
      {41, 2, 0, -6, {"21504@0", "20480@1 failed"}, {1, 0}},
      {30, 2, 0, -6, {"21504@0", "9216@1 failed"}, {1, 0}},
      {41, 0, 31, -5, {"21504@0", "9216@1"}, {1, 0}},
      {41, 2, 31, -6, {"21504@0", "9216@1 failed"}, {1, 0}},
  };
  for (const Row& row : rows) {
    DownloadWorld w;
    SetPackage(w, 1, u"https://update.test/c.exe", 2048);
    const std::string body = DownloadWorld::Body(row.pieces * 1024);
    w.http.Serve(u"https://update.test/c.exe", FakeAnswer{200, body, false, row.failReadAt});
    w.files.failWriteAt = row.failWriteAt;
    std::vector<std::string> writes;
    w.files.onEvent = [&](const std::string& e) {
      std::istringstream fields(e);
      std::string op, name, bytes, failed;
      fields >> op >> name >> bytes >> failed;
      if (op != "write") return;
      writes.push_back(bytes + "@" + std::to_string(Positions(w).size()) + (failed.empty() ? "" : " failed"));
    };
    EXPECT_EQ(RunJob(w, 1), row.result) << row.pieces << " " << row.failWriteAt;
    EXPECT_EQ(writes, row.writes) << row.pieces << " " << row.failWriteAt;
    EXPECT_EQ(Positions(w), row.positions) << row.pieces << " " << row.failWriteAt;
    EXPECT_EQ(w.files.Has(u"VLT_Terminal_CCID.exe"), row.result == 0);
    if (row.result == 0) {
      EXPECT_EQ(w.files.Content(u"VLT_Terminal_CCID.exe"), body);
    }
  }
}

// One row of the job's result table and what it leaves.
struct JobRow {
  const char* label;
  std::function<void(DownloadWorld&)> arrange;
  int32_t result;
  bool transferShown;  // dialog and tray icon came and went
  bool fileLeft;
  const char* lastStatus;
  bool progressReset;
};

class JobRows : public ::testing::TestWithParam<JobRow> {};

void SetDigest(DownloadWorld& w, int kind, const std::u16string& sha256) {
  PackageInfo info = w.dlg.GetPackage(kind);
  info.SHA256 = sha256;
  w.dlg.SetPackage(kind, info);
}

std::u16string Upper(std::u16string text) {
  for (char16_t& c : text)
    if (c >= u'a' && c <= u'f') c = static_cast<char16_t>(c - u'a' + u'A');
  return text;
}

TEST_P(JobRows, ResultTextAndFileState) {
  const JobRow& row = GetParam();
  DownloadWorld w;
  w.http.Serve(kControlUrl, FakeAnswer{200, DownloadWorld::Body(3000)});
  row.arrange(w);

  EXPECT_EQ(RunJob(w, 2), row.result);
  // Only an accepted package is offered; nothing else asks or starts anything.
  EXPECT_EQ(w.fake.ui.boxes().size(), row.result == 0 ? 1u : 0u);
  EXPECT_TRUE(w.launcher.executed().empty());
  const auto calls = w.fake.ui.calls();
  const bool shown = std::find(calls.begin(), calls.end(), "tray add 128") != calls.end();
  EXPECT_EQ(shown, row.transferShown);
  if (shown) {
    EXPECT_NE(std::find(calls.begin(), calls.end(), "tray delete 128"), calls.end());
  }
  EXPECT_EQ(w.files.Has(u"VLT_Terminal_Control.exe"), row.fileLeft);
  EXPECT_EQ(w.fake.ui.statuses().back(), FromUtf8(row.lastStatus));
  const std::vector<int> positions = Positions(w);
  EXPECT_EQ(!positions.empty() && positions.back() == 0, row.progressReset);
  EXPECT_FALSE(w.fake.ui.trayShown());
  EXPECT_EQ(w.dlg.m_bDownloading, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, JobRows,
    ::testing::Values(
        JobRow{"received", [](DownloadWorld&) {}, 0, true, true, "最新的默认浏览器控件下载完成!", true},
        JobRow{"folder_does_not_fit", [](DownloadWorld& w) { w.files.reportedLength = 261; }, -1, false, false,
               "开始下载最新的浏览器控件!", false},
        JobRow{"create_fails", [](DownloadWorld& w) { w.files.failCreate = true; }, -2, false, false,
               "开始下载最新的浏览器控件!", false},
        JobRow{"no_client_handle", [](DownloadWorld& w) { w.http.failSession = true; }, -3, true, false,
               "最新的默认浏览器控件下载失败!", true},
        JobRow{"url_not_opened", [](DownloadWorld& w) { w.http.Forget(kControlUrl); }, -4, true, false,
               "最新的默认浏览器控件下载失败!", true},
        JobRow{"empty_url", [](DownloadWorld& w) { SetPackage(w, 2, u"", 180); }, -4, true, false,
               "最新的默认浏览器控件下载失败!", true},
        JobRow{"not_found_page", [](DownloadWorld& w) { w.http.Serve(kControlUrl, FakeAnswer{404, "gone"}); }, -4,
               true, false, "最新的默认浏览器控件下载失败!", true},
        JobRow{"read_fails",
               [](DownloadWorld& w) { w.http.Serve(kControlUrl, FakeAnswer{200, DownloadWorld::Body(3000), false, 2}); },
               -5, true, false, "最新的默认浏览器控件下载失败!", true},
        JobRow{"write_fails", [](DownloadWorld& w) { w.files.failWriteAt = 3; }, -6, true, false,
               "最新的默认浏览器控件下载失败!", true},
        JobRow{"digest_matches", [](DownloadWorld& w) { SetDigest(w, 2, FakeHash::Hex(DownloadWorld::Body(3000))); },
               0, true, true, "最新的默认浏览器控件下载完成!", true},
        JobRow{"digest_in_upper_case",
               [](DownloadWorld& w) { SetDigest(w, 2, Upper(FakeHash::Hex(DownloadWorld::Body(3000)))); }, 0, true,
               true, "最新的默认浏览器控件下载完成!", true},
        JobRow{"empty_file_and_its_digest",
               [](DownloadWorld& w) {
                 w.http.Serve(kControlUrl, FakeAnswer{200, ""});
                 SetDigest(w, 2, u"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
               },
               0, true, true, "最新的默认浏览器控件下载完成!", true},
        JobRow{"rejected_digest_differs", [](DownloadWorld& w) { SetDigest(w, 2, FakeHash::Hex("another file")); },
               -7, true, false, "最新的浏览器控件安装包异常!", true},
        JobRow{"rejected_63_digits",
               [](DownloadWorld& w) { SetDigest(w, 2, FakeHash::Hex(DownloadWorld::Body(3000)).substr(1)); }, -7,
               true, false, "最新的浏览器控件安装包异常!", true},
        JobRow{"rejected_65_digits",
               [](DownloadWorld& w) { SetDigest(w, 2, FakeHash::Hex(DownloadWorld::Body(3000)) + u"0"); }, -7, true,
               false, "最新的浏览器控件安装包异常!", true},
        JobRow{"rejected_not_hex",
               [](DownloadWorld& w) {
                 std::u16string digest = FakeHash::Hex(DownloadWorld::Body(3000));
                 digest[10] = u'g';
                 SetDigest(w, 2, digest);
               },
               -7, true, false, "最新的浏览器控件安装包异常!", true},
        JobRow{"rejected_file_changed_after_download",
               [](DownloadWorld& w) {
                 SetDigest(w, 2, FakeHash::Hex(DownloadWorld::Body(3000)));
                 w.files.onEvent = [&w](const std::string& e) {
                   if (e == "close VLT_Terminal_Control.exe") w.files.Put(u"VLT_Terminal_Control.exe", "swapped");
                 };
               },
               -7, true, false, "最新的浏览器控件安装包异常!", true},
        JobRow{"rejected_file_cannot_be_held", [](DownloadWorld& w) { w.files.failHold = true; }, -7, true, false,
               "最新的浏览器控件安装包异常!", true},
        JobRow{"rejected_file_unreadable",
               [](DownloadWorld& w) {
                 SetDigest(w, 2, FakeHash::Hex(DownloadWorld::Body(3000)));
                 w.hash.failRead = true;
               },
               -7, true, false, "最新的浏览器控件安装包异常!", true}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(PackageDownloadJob, RejectionCodesPerKind) {
  const std::pair<int32_t, int32_t> rows[] = {{1, -6}, {2, -7}, {3, -8}, {4, -8}};
  for (auto [kind, code] : rows) {
    DownloadWorld w;
    SetPackage(w, kind, u"https://update.test/p.exe", 1);
    SetDigest(w, kind, FakeHash::Hex("MZ!"));
    w.http.Serve(u"https://update.test/p.exe", FakeAnswer{200, "MZ"});
    EXPECT_EQ(RunJob(w, kind), code) << kind;
    EXPECT_EQ(w.fake.ui.statuses().back(), FindPackageKind(kind)->rejected);
    EXPECT_FALSE(w.files.Has(std::u16string(FindPackageKind(kind)->fileName)));
    EXPECT_TRUE(w.fake.ui.boxes().empty());
    EXPECT_TRUE(w.launcher.executed().empty());
  }
}

// What the activity log file says about a download the dialog started: one
// failure entry naming the cause, none for a download that worked.
TEST(PackageDownloadJob, FailureEntryNamesTheCause) {
  const std::string url = "https://update.test/static/basis/ic/ICCardSetup_1.0.0.1.exe";
  const struct {
    const char* label;
    int32_t kind;
    std::function<void(DownloadWorld&)> arrange;
    std::vector<std::string> lines;
  } rows[] = {
      {"connect", 2,
       [](DownloadWorld& w) { w.http.Serve(kControlUrl, FakeAnswer{200, "x", true, 0, "Couldn't connect to server"}); },
       {"failure download 2 failed: -4 cannot open " + url + " (Couldn't connect to server)"}},
      {"not_found", 2, [](DownloadWorld& w) { w.http.Serve(kControlUrl, FakeAnswer{404, "gone"}); },
       {"failure download 2 failed: -4 cannot open " + url + " (HTTP 404)"}},
      {"no_client", 2, [](DownloadWorld& w) { w.http.failSession = true; },
       {"failure download 2 failed: -3 no internet client handle"}},
      {"read_after_two_pieces", 2,
       [](DownloadWorld& w) {
         w.http.Serve(kControlUrl, FakeAnswer{200, DownloadWorld::Body(3000), false, 3, "Connection reset by peer"});
       },
       {"failure download 2 failed: -5 read failed after 2.0 of 3.0 KiB (Connection reset by peer)"}},
      {"read_after_1_2_mib", 3,
       [](DownloadWorld& w) {
         SetPackage(w, 3, u"https://update.test/s.exe", 3072);
         w.http.Serve(u"https://update.test/s.exe",
                      FakeAnswer{200, DownloadWorld::Body(3 << 20), false, 1230, "connection reset"});
       },
       {"failure download 3 failed: -5 read failed after 1.2 of 3.0 MiB (connection reset)"}},
      {"write", 2,
       [](DownloadWorld& w) {
         w.files.failWriteAt = 1;
         w.files.writeCause = "No space left on device";
       },
       {"failure download 2 failed: -6 write failed after 1.0 of 3.0 KiB (No space left on device)"}},
      {"create", 2, [](DownloadWorld& w) { w.files.failCreate = true; },
       {"failure download 2 failed: -2 cannot create /tmp/qarx-test/VLT_Terminal_Control.exe"}},
      {"rejected", 2, [](DownloadWorld& w) { SetDigest(w, 2, FakeHash::Hex("another file")); },
       {"failure download 2 failed: -7 package rejected: its SHA-256 differs"}},
      {"not_held", 1, [](DownloadWorld& w) { w.files.failHold = true; },
       {"failure download 1 failed: -6 package rejected: the file cannot be held"}},
      {"no_such_kind", 5, [](DownloadWorld&) {}, {"failure download 5 failed: -1 no such package kind"}},
      {"launch_refused", 2,
       [](DownloadWorld& w) {
         w.fake.ui.defaultAnswer = IDYES;
         w.launcher.executeResult = 2;
         w.launcher.executeCause = "No such file or directory";
       },
       {"failure launch /tmp/qarx-test/VLT_Terminal_Control.exe failed: -1 not started, launcher value 2 (No such "
        "file or directory)"}},
      {"started", 2, [](DownloadWorld& w) { w.fake.ui.defaultAnswer = IDYES; }, {}},
  };
  for (const auto& row : rows) {
    DownloadWorld w;
    SetPackage(w, 2, kControlUrl, 3);
    SetPackage(w, 1, u"https://update.test/c.exe", 3);
    w.http.Serve(kControlUrl, FakeAnswer{200, DownloadWorld::Body(3000)});
    w.http.Serve(u"https://update.test/c.exe", FakeAnswer{200, "MZ"});
    row.arrange(w);
    w.dlg.WindowProc(WM_DOWNLOAD_REQUEST, reinterpret_cast<uintptr_t>(&w.dlg), row.kind);
    EXPECT_EQ(w.fake.record.lines(), row.lines) << row.label;
  }
}

TEST(PackageDownloadJob, WindDownPrecedesClosingTheFile) {
  DownloadWorld w;
  std::vector<std::string> uiAtClose;
  std::vector<std::string> closes;
  w.files.onEvent = [&](const std::string& e) {
    if (e.rfind("close", 0) == 0) {
      uiAtClose = w.fake.ui.calls();
      closes.push_back("file");
    }
  };
  w.http.onEvent = [&](const std::string& e) {
    if (e.rfind("close", 0) == 0) closes.push_back(e);
  };
  w.http.Serve(kControlUrl, FakeAnswer{200, "body"});
  EXPECT_EQ(RunJob(w, 2), 0);
  ASSERT_GE(uiAtClose.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(uiAtClose.end() - 3, uiAtClose.end()),
            (std::vector<std::string>{"tray delete 128", "show 0", "show 0"}));
  EXPECT_EQ(closes, (std::vector<std::string>{"file", "close session", "close request"}));
}

TEST(PackageDownloadJob, ExistingFileIsReplaced) {
  DownloadWorld w;
  w.files.Put(u"VLT_Terminal_Control.exe", "stale");
  w.http.Serve(kControlUrl, FakeAnswer{200, "fresh"});
  EXPECT_EQ(RunJob(w, 2), 0);
  EXPECT_EQ(w.files.Content(u"VLT_Terminal_Control.exe"), "fresh");
}

TEST(PackageDownloadJob, CurrentExistingFileSkipsTheTransfer) {
  DownloadWorld w;
  w.dlg.SetPackage(2, PackageInfo{kControlUrl, 180, 1, 2, 3, 4, u""});
  w.files.Put(u"VLT_Terminal_Control.exe", "kept");
  const PackageHooks knowsVersion{&CheckPackage,
                                  [](const std::u16string&, uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d) {
                                    a = 1, b = 2, c = 3, d = 4;
                                    return 0;
                                  }};
  EXPECT_EQ(RunJob(w, 2, knowsVersion), 0);
  EXPECT_TRUE(w.http.events().empty());
  EXPECT_EQ(w.files.Content(u"VLT_Terminal_Control.exe"), "kept");
  EXPECT_EQ(Without(w.fake.ui.calls(), "box"),
            (std::vector<std::string>{"status 开始下载最新的浏览器控件!", "status 最新的默认浏览器控件下载完成!", "pos 0"}));

  // One number below the configured one: downloaded again.
  const PackageHooks older{&CheckPackage,
                           [](const std::u16string&, uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d) {
                             a = 9, b = 9, c = 9, d = 3;
                             return 0;
                           }};
  w.http.Serve(kControlUrl, FakeAnswer{200, "new"});
  EXPECT_EQ(RunJob(w, 2, older), 0);
  EXPECT_EQ(w.files.Content(u"VLT_Terminal_Control.exe"), "new");

  // A kept file is checked like a downloaded one.
  SetDigest(w, 2, FakeHash::Hex("kept"));
  EXPECT_EQ(RunJob(w, 2, knowsVersion), -7);
  EXPECT_FALSE(w.files.Has(u"VLT_Terminal_Control.exe"));
}

TEST(PackageDownloadJob, NoLeavesTheFileAndStartsNothing) {
  DownloadWorld w;
  w.http.Serve(kControlUrl, FakeAnswer{200, "x"});
  w.fake.ui.QueueAnswers({IDNO});
  EXPECT_EQ(RunJob(w, 2), 0);
  EXPECT_EQ(w.fake.ui.boxes().size(), 1u);
  EXPECT_TRUE(w.launcher.executed().empty());
  EXPECT_TRUE(w.files.Has(u"VLT_Terminal_Control.exe"));
  EXPECT_EQ(w.files.events().back(), "release VLT_Terminal_Control.exe");
}

// What was checked is what starts: while the question is open and while the
// start runs, the file can be neither replaced nor deleted; after the start
// it is let go.
TEST(PackageDownloadJob, CheckedFileIsHeldUntilTheStartReturns) {
  DownloadWorld w;
  const std::u16string path = u"/tmp/qarx-test/VLT_Terminal_Server.exe";
  w.dlg.SetPackage(3, PackageInfo{u"https://update.test/s.exe", 3, 1, 0, 0, 1, FakeHash::Hex("checked")});
  w.http.Serve(u"https://update.test/s.exe", FakeAnswer{200, "checked"});
  w.fake.ui.QueueAnswers({IDYES});
  std::vector<bool> swapsRefused;
  auto trySwap = [&] {
    swapsRefused.push_back(!w.files.DeleteFile(path) && w.files.CreateFile(path) == nullptr);
  };
  w.fake.ui.onBox = [&](const testing::BoxRecord&) { trySwap(); };
  w.launcher.onExecute = [&](const std::u16string&) { trySwap(); };

  EXPECT_EQ(RunJob(w, 3), 0);
  EXPECT_EQ(swapsRefused, (std::vector<bool>{true, true}));
  EXPECT_EQ(w.files.Content(u"VLT_Terminal_Server.exe"), "checked");
  EXPECT_EQ(w.launcher.executed().size(), 1u);
  const auto events = w.files.events();
  EXPECT_EQ(std::count(events.begin(), events.end(), "hold VLT_Terminal_Server.exe"), 1);
  EXPECT_EQ(events.back(), "release VLT_Terminal_Server.exe");
  EXPECT_TRUE(w.files.DeleteFile(path));
}

TEST(PackageDownloadJob, YesToTheControlWarnsBeforeStarting) {
  DownloadWorld w;
  w.http.Serve(kControlUrl, FakeAnswer{200, "x"});
  w.fake.ui.QueueAnswers({IDYES, IDOK});
  size_t launchesAtWarning = 99;
  w.fake.ui.onBox = [&](const testing::BoxRecord& box) {
    if (box.style == (MB_OK | MB_ICONWARNING)) launchesAtWarning = w.launcher.executed().size();
  };
  EXPECT_EQ(RunJob(w, 2), 0);
  const auto boxes = w.fake.ui.boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, u"最新的浏览器控件下载完成!\r\n\r\n是否需要立即安装最新控件?");
  EXPECT_EQ(boxes[1].text, u"   请确定关闭浏览器,\r\n停止使用IC卡互联网终端!");
  EXPECT_EQ(boxes[1].caption, u"Veltrane服务程序提示");
  EXPECT_EQ(launchesAtWarning, 0u);
  EXPECT_EQ(w.launcher.executed().size(), 1u);
}

TEST(PackageDownloadJob, FailedLaunchChangesNothingVisible) {
  DownloadWorld w;
  w.http.Serve(kControlUrl, FakeAnswer{200, "x"});
  w.fake.ui.QueueAnswers({IDYES, IDOK});
  w.launcher.executeResult = 2;
  EXPECT_EQ(RunJob(w, 2), 0);
  EXPECT_EQ(w.fake.ui.statuses().back(), u"最新的默认浏览器控件下载完成!");
}

TEST(PackageDownloadJob, PromptsPerKind) {
  const char16_t* prompts[] = {nullptr, u" 最新的CCID驱动下载完成!\r\n\r\n是否需要立即安装最新驱动?",
                               u"最新的浏览器控件下载完成!\r\n\r\n是否需要立即安装最新控件?",
                               u" 最新的服务程序下载完成!\r\n\r\n是否需要立即安装最新程序?",
                               u" 固件升级程序下载完成!\r\n\r\n是否需要立即安装?"};
  const char16_t* files[] = {nullptr, u"VLT_Terminal_CCID.exe", u"VLT_Terminal_Control.exe",
                             u"VLT_Terminal_Server.exe", u"VLT_Terminal_CosUpdate.exe"};
  for (int kind = 1; kind <= 4; ++kind) {
    DownloadWorld w;
    SetPackage(w, kind, u"https://update.test/p.exe", 1);
    w.http.Serve(u"https://update.test/p.exe", FakeAnswer{200, "MZ"});
    EXPECT_EQ(RunJob(w, kind), 0);
    ASSERT_EQ(w.fake.ui.boxes().size(), 1u);
    EXPECT_EQ(w.fake.ui.boxes()[0].text, prompts[kind]);
    EXPECT_TRUE(w.files.Has(files[kind]));
  }
}

// The firmware-update mutex is released on every path after the kind check.
class FirmwareRelease : public ::testing::TestWithParam<std::function<void(DownloadWorld&)>> {};

TEST_P(FirmwareRelease, MutexGoneAtTheEnd) {
  DownloadWorld w;
  SetPackage(w, 4, kFirmwareUrl, 320);
  w.http.Serve(kFirmwareUrl, FakeAnswer{200, DownloadWorld::Body(5000)});
  GetParam()(w);
  const std::u16string name(kFirmwareUpdateMutexName);
  bool existed = false;
  g_hFirmwareUpdateMutex = w.fake.mutexes.Create(name, true, existed);
  ASSERT_TRUE(w.fake.mutexes.Exists(name));

  RunJob(w, 4);
  EXPECT_EQ(g_hFirmwareUpdateMutex, nullptr);
  EXPECT_FALSE(w.fake.mutexes.Exists(name));
}

INSTANTIATE_TEST_SUITE_P(
    EveryPath, FirmwareRelease,
    ::testing::Values([](DownloadWorld&) {},
                      [](DownloadWorld& w) { w.fake.ui.QueueAnswers({IDYES}); },
                      [](DownloadWorld& w) { w.files.reportedLength = 500; },
                      [](DownloadWorld& w) { w.files.failCreate = true; },
                      [](DownloadWorld& w) { w.http.failSession = true; },
                      [](DownloadWorld& w) { w.http.Forget(kFirmwareUrl); },
                      [](DownloadWorld& w) { w.http.Serve(kFirmwareUrl, FakeAnswer{200, "xx", false, 1}); },
                      [](DownloadWorld& w) { w.files.failWriteAt = 1; }));

TEST(PackageDownloadJob, FirmwareJobWithoutHandleEndsNormally) {
  DownloadWorld w;
  SetPackage(w, 4, kFirmwareUrl, 320);
  w.http.Serve(kFirmwareUrl, FakeAnswer{200, "x"});
  g_hFirmwareUpdateMutex.reset();
  EXPECT_EQ(RunJob(w, 4), 0);
  EXPECT_EQ(Positions(w).back(), 0);
}

}  // namespace
}  // namespace qarx
