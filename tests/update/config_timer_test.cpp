#include <gtest/gtest.h>

#include "support/download_world.h"

namespace qarx {
namespace {

using testing::DownloadWorld;
using testing::FakeAnswer;

const std::u16string kConfigUrl = u"https://update.test/static/basis/ic/SetupConfig.ini";

class TimerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The check job is counted, not run: it belongs to another subsystem.
    w.fake.threads.deferred = true;
    w.fake.ui.SetTimer(1, 5000);
  }
  void Tick(uintptr_t id = 1) { w.dlg.WindowProc(WM_TIMER, id, 0); }
  DownloadWorld w;
};

TEST_F(TimerTest, FetchesEachTickUntilItSucceedsThenStopsForGood) {
  Tick();
  Tick();
  EXPECT_EQ(w.http.opens(kConfigUrl), 2);
  EXPECT_EQ(w.fake.threads.started(), 0);
  EXPECT_EQ(w.fake.ui.timerPeriod(1), 5000);
  EXPECT_EQ(w.dlg.m_bTimerReady, 1);

  w.http.Serve(kConfigUrl, FakeAnswer{200, "[Server]\nURL=https://h/s.exe\nSize=77\n"});
  Tick();
  EXPECT_EQ(w.http.opens(kConfigUrl), 3);
  EXPECT_EQ(w.fake.threads.started(), 1);
  EXPECT_EQ(w.fake.ui.timerPeriod(1), 0);
  EXPECT_EQ(w.dlg.GetPackage(3).URL, u"https://h/s.exe");
  EXPECT_EQ(w.dlg.GetPackage(3).Size, 77);
  EXPECT_EQ(w.files.Content(u"VLT_Terminal_SetupConfig.ini"), "[Server]\nURL=https://h/s.exe\nSize=77\n");
  // The check is started before the timer is killed, and nothing is logged.
  const auto calls = w.fake.ui.calls();
  EXPECT_EQ(std::count_if(calls.begin(), calls.end(), [](auto& c) { return c.rfind("log", 0) == 0; }), 0);
}

// Tried every 5 s: the activity log file gets the first failure, then only a
// change of cause (amounts do not count), and the success after failures.
TEST_F(TimerTest, FailuresAreWrittenOncePerCauseAndTheSuccessAfterThem) {
  const std::string fetch = "failure configuration fetch failed: ";
  const std::string url = "https://update.test/static/basis/ic/SetupConfig.ini";
  const struct {
    FakeAnswer answer;
    std::vector<std::string> lines;  // written by this tick
  } ticks[] = {
      {FakeAnswer{200, "", true, 0, "Could not resolve host: update.test"},
       {fetch + "-4 cannot open " + url + " (Could not resolve host: update.test)"}},
      {FakeAnswer{200, "", true, 0, "Could not resolve host: update.test"}, {}},
      {FakeAnswer{200, "", true, 0, "Couldn't connect to server"},
       {fetch + "-4 cannot open " + url + " (Couldn't connect to server)"}},
      {FakeAnswer{503, "busy"}, {fetch + "-4 cannot open " + url + " (HTTP 503)"}},
      {FakeAnswer{503, "busy"}, {}},
      {FakeAnswer{200, std::string(3000, 'x'), false, 2, "Connection reset by peer"},
       {fetch + "-5 read failed after 1.0 KiB (Connection reset by peer)"}},
      {FakeAnswer{200, std::string(3000, 'x'), false, 3, "Connection reset by peer"}, {}},
      {FakeAnswer{200, "[CCID]\n"}, {"recovery configuration fetched after 7 failures"}},
  };
  size_t seen = 0;
  for (const auto& tick : ticks) {
    w.http.Serve(kConfigUrl, tick.answer);
    Tick();
    const std::vector<std::string> lines = w.fake.record.lines();
    EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(seen), lines.end()), tick.lines)
        << tick.answer.status << " " << tick.answer.cause;
    seen = lines.size();
  }
  EXPECT_EQ(w.fake.threads.started(), 1);
}

TEST_F(TimerTest, AFetchThatWorksAtOnceWritesNothing) {
  w.http.Serve(kConfigUrl, FakeAnswer{200, "[CCID]\n"});
  Tick();
  EXPECT_TRUE(w.fake.record.lines().empty());
}

TEST_F(TimerTest, NotFoundPageIsNotTakenAsTheConfiguration) {
  w.files.Put(u"VLT_Terminal_SetupConfig.ini", "[Server]\nSize=5\n");
  w.http.Serve(kConfigUrl, FakeAnswer{404, "<html>404 Not Found</html>"});
  Tick();
  EXPECT_EQ(w.fake.threads.started(), 0);
  EXPECT_EQ(w.fake.ui.timerPeriod(1), 5000);
  // The earlier copy was deleted before the attempt and nothing replaced it.
  EXPECT_FALSE(w.files.Has(u"VLT_Terminal_SetupConfig.ini"));
  EXPECT_EQ(w.dlg.GetPackage(3).Size, 0);
}

TEST_F(TimerTest, OtherTimersAndBusyTicksDoNothing) {
  w.http.Serve(kConfigUrl, FakeAnswer{200, "[CCID]\n"});
  Tick(2);
  w.dlg.m_bTimerReady = 0;
  Tick();
  EXPECT_EQ(w.http.opens(kConfigUrl), 0);
  EXPECT_EQ(w.dlg.m_bTimerReady, 0);
}

TEST_F(TimerTest, TimerIsKilledEvenWhenTheCheckCannotStart) {
  w.fake.threads.failStarts = true;
  w.http.Serve(kConfigUrl, FakeAnswer{200, "[CCID]\n"});
  Tick();
  EXPECT_EQ(w.fake.ui.timerPeriod(1), 0);
  EXPECT_EQ(w.dlg.m_bTimerReady, 1);
}

TEST_F(TimerTest, UnusableTemporaryFolderKeepsTrying) {
  w.files.reportedLength = 261;
  w.http.Serve(kConfigUrl, FakeAnswer{200, "[CCID]\n"});
  Tick();
  Tick();
  EXPECT_EQ(w.http.opens(kConfigUrl), 0);
  EXPECT_EQ(w.fake.threads.started(), 0);
  EXPECT_EQ(w.fake.ui.timerPeriod(1), 5000);
}

}  // namespace
}  // namespace qarx
