#include <gtest/gtest.h>

#include "support/download_world.h"

namespace qarx {
namespace {

using testing::DownloadWorld;
using testing::FakeAnswer;

const std::u16string kActiveX = u"https://update.test/portal/qre/ic/ic_activeX.exe";
const std::u16string kDriver = u"https://update.test/portal/qre/ic/Setup_ic_terminal_driver.exe";
const std::u16string kSeparator(47, u'-');

TEST(DownloadButton, LogsEachFileThenTheSeparator) {
  struct Row {
    bool activeX, driver;
    std::vector<std::u16string> log;
  };
  const Row rows[] = {
      {true, true, {u"控件下载成功!", u"CCID驱动下载成功!", kSeparator}},
      {false, true, {u"控件下载失败!", u"CCID驱动下载成功!", kSeparator}},
      {true, false, {u"控件下载成功!", u"CCID驱动下载失败!", kSeparator}},
      {false, false, {u"控件下载失败!", u"CCID驱动下载失败!", kSeparator}},
  };
  for (const Row& row : rows) {
    DownloadWorld w;
    if (row.activeX) w.http.Serve(kActiveX, FakeAnswer{200, "activex"});
    if (row.driver) w.http.Serve(kDriver, FakeAnswer{200, "driver"});
    w.dlg.WindowProc(WM_COMMAND, IDC_DOWNLOAD, 0);
    EXPECT_EQ(w.fake.ui.log(), row.log);
    EXPECT_EQ(w.files.Has(u"ic_activeX.exe"), row.activeX);
    EXPECT_EQ(w.files.Has(u"CCID.exe"), row.driver);
    EXPECT_EQ(w.http.opens(kActiveX), 1);
    EXPECT_EQ(w.http.opens(kDriver), 1);
    // No status, progress, window or tray changes.
    for (const std::string& call : w.fake.ui.calls()) EXPECT_EQ(call.rfind("log ", 0), 0u) << call;
  }
}

TEST(OkCommand, StartsBothInstallersAndLogsEach) {
  struct Row {
    bool activeX, driver;
    uint32_t launcherValue;
    std::vector<std::u16string> log;
    size_t launches;
  };
  const Row rows[] = {
      {true, true, 33, {u"控件安装成功!", u"CCID驱动安装成功!", kSeparator}, 2},
      {false, true, 33, {u"控件安装失败!", u"CCID驱动安装成功!", kSeparator}, 1},
      {true, true, 2, {u"控件安装失败!", u"CCID驱动安装失败!", kSeparator}, 2},
      {false, false, 33, {u"控件安装失败!", u"CCID驱动安装失败!", kSeparator}, 0},
  };
  for (const Row& row : rows) {
    DownloadWorld w;
    if (row.activeX) w.files.Put(u"ic_activeX.exe", "a");
    if (row.driver) w.files.Put(u"CCID.exe", "d");
    w.launcher.executeResult = row.launcherValue;
    // Each file is held while it starts.
    size_t deletedWhileStarting = 0;
    w.launcher.onExecute = [&](const std::u16string& path) { deletedWhileStarting += w.files.DeleteFile(path); };
    w.dlg.WindowProc(WM_COMMAND, IDOK, 0);
    EXPECT_EQ(w.fake.ui.log(), row.log);
    EXPECT_EQ(w.launcher.executed().size(), row.launches);
    EXPECT_EQ(deletedWhileStarting, 0u);
  }
}

TEST(DownloadRequest, StartsOneJobForTheKindInTheMessage) {
  DownloadWorld w;
  w.http.Serve(u"https://update.test/static/basis/ic/DozAziDedav_1.0.0.1.exe", FakeAnswer{200, "srv"});
  EXPECT_EQ(w.dlg.WindowProc(WM_DOWNLOAD_REQUEST, reinterpret_cast<uintptr_t>(&w.dlg), 3), 0);
  EXPECT_EQ(w.fake.threads.started(), 1);
  EXPECT_EQ(w.files.Content(u"VLT_Terminal_Server.exe"), "srv");
  EXPECT_EQ(w.fake.ui.statuses().front(), u"开始下载最新的服务程序!");
}

TEST(DownloadRequest, UnknownKindReachesTheJob) {
  DownloadWorld w;
  w.dlg.WindowProc(WM_DOWNLOAD_REQUEST, reinterpret_cast<uintptr_t>(&w.dlg), 7);
  EXPECT_EQ(w.fake.ui.statuses(), (std::vector<std::u16string>{u"配置文件错误!"}));
}

TEST(DownloadRequest, ThreadThatCannotStartDoesNothing) {
  DownloadWorld w;
  w.fake.threads.failStarts = true;
  EXPECT_EQ(w.dlg.WindowProc(WM_DOWNLOAD_REQUEST, reinterpret_cast<uintptr_t>(&w.dlg), 2), 0);
  EXPECT_TRUE(w.fake.ui.calls().empty());
  EXPECT_TRUE(w.http.events().empty());
}

}  // namespace
}  // namespace qarx
