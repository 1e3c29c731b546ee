#include "terminal/reader_monitor.h"

#include <chrono>
#include <string>
#include <thread>

#include "terminal/terminal_fixture.h"

namespace qarx {
namespace {

using testing::FakePcsc;
using testing::ReaderEventRecord;

class ReaderMonitorTest : public testing::ReaderFixture {
 protected:
  ReaderMonitorTest() { fake.threads.deferred = true; }  // watchers wait in the queue
  void StartAndPass() {
    ASSERT_TRUE(loop.Start());
    loop.Pass();
  }
  ReaderMonitorLoop loop{fake.platform, slots};
};

TEST_F(ReaderMonitorTest, ContextRefusedAtStartShowsTheErrorOnceAndMonitorsNothing) {
  pcsc.Script(FakePcsc::Call::Establish, {SCARD_F_COMM_ERROR});
  ReaderMonitor(fake.platform);  // returns: the thread ends
  ASSERT_EQ(fake.ui.boxes().size(), 1u);
  const auto box = fake.ui.boxes()[0];
  EXPECT_EQ(box.owner, BoxOwner::None);
  EXPECT_EQ(box.text, u"Fail：start automatic monitor");
  EXPECT_EQ(box.caption, u"Error");
  EXPECT_EQ(box.style, 0u);  // MB_OK
  EXPECT_EQ(pcsc.calls(), std::vector<std::string>{"establish 2"});
}

// A smart-card service that is not running yet (it starts with the first
// reader) is waited for without a box, one try a second, and then watched.
TEST_F(ReaderMonitorTest, ServiceNotRunningAtStartIsWaitedForWithoutABox) {
  pcsc.Script(FakePcsc::Call::Establish, {SCARD_E_NO_SERVICE, SCARD_E_SERVICE_STOPPED});
  pcsc.AddReader(u"VLT Test 00 00");
  StartAndPass();
  EXPECT_TRUE(fake.ui.boxes().empty());
  const auto calls = pcsc.calls();
  EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 6),
            (std::vector<std::string>{"establish 2", "await service", "establish 2", "await service", "establish 2",
                                      "list 1"}));
  EXPECT_EQ(fake.threads.sleeps(), (std::vector<uint32_t>{1000, 1000}));
  EXPECT_EQ(Events(), (std::vector<ReaderEventRecord>{{kReaderArrived, &slots[0]}}));
}

TEST_F(ReaderMonitorTest, TerminalPresentAtStartIsFoundBeforeTheFirstWait) {
  pcsc.AddReader(u"VLT Test 00 00");
  StartAndPass();
  EXPECT_EQ(pcsc.calls(), (std::vector<std::string>{"establish 2", "list 1", "wait 1 \\\\?PNP?\\NOTIFICATION 1000"}));
  EXPECT_EQ(Events(), (std::vector<ReaderEventRecord>{{kReaderArrived, &slots[0]}}));
  EXPECT_EQ(slots[0].readerName, u"VLT Test 00 00");
  EXPECT_EQ(slots[0].watching, 1);
  EXPECT_NE(slots[0].watcherThread, 0u);
  EXPECT_EQ(fake.threads.started(), 1);
}

TEST_F(ReaderMonitorTest, OnlyNamesBeginningWithTheExactPrefixTakeASlot) {
  for (const char16_t* name : {u"vlt lower 00 00", u"Other VLT 00 00", u"XVLT 00 00", u" VLT 00 00", u"VLT",
                               u"Vlt Mixed 00 00", u"VLT Fake Reader (A1) 00 00"})
    pcsc.AddReader(name);
  StartAndPass();
  EXPECT_EQ(slots[0].readerName, u"VLT");
  EXPECT_EQ(slots[1].readerName, u"VLT Fake Reader (A1) 00 00");
  EXPECT_TRUE(slots[2].readerName.empty());
  EXPECT_EQ(Events(), (std::vector<ReaderEventRecord>{{kReaderArrived, &slots[0]}, {kReaderArrived, &slots[1]}}));
}

TEST_F(ReaderMonitorTest, TwoTerminalsGetTwoSlotsAndTwoArrivals) {
  pcsc.AddReader(u"VLT A");
  pcsc.AddReader(u"VLT B");
  StartAndPass();
  EXPECT_EQ(Events(), (std::vector<ReaderEventRecord>{{kReaderArrived, &slots[0]}, {kReaderArrived, &slots[1]}}));
  EXPECT_NE(slots[0].watcherThread, slots[1].watcherThread);
}

TEST_F(ReaderMonitorTest, WatchedSlotIgnoresLaterPasses) {
  pcsc.AddReader(u"VLT A");
  StartAndPass();
  loop.Pass();
  pcsc.RemoveReader(u"VLT A");  // back before its watcher has ended
  pcsc.AddReader(u"VLT A");
  loop.Pass();
  EXPECT_EQ(Events().size(), 1u);
  EXPECT_EQ(fake.threads.started(), 1);
}

TEST_F(ReaderMonitorTest, UnplugAndReplugArrivesAgainInTheSameSlot) {
  pcsc.AddReader(u"VLT A");
  pcsc.AddReader(u"VLT B");
  StartAndPass();
  pcsc.RemoveReader(u"VLT A");
  pcsc.RemoveReader(u"VLT B");
  fake.threads.RunPending();  // both watchers find their readers gone and end
  EXPECT_EQ(slots[0].watching, 0);
  loop.Pass();
  EXPECT_EQ(Events().size(), 4u);  // nothing new while unplugged

  pcsc.AddReader(u"VLT B");
  loop.Pass();
  const std::vector<ReaderEventRecord> expected{{kReaderArrived, &slots[0]}, {kReaderArrived, &slots[1]},
                                                {kWatcherEnded, &slots[0]},  {kWatcherEnded, &slots[1]},
                                                {kReaderArrived, &slots[1]}};
  EXPECT_EQ(Events(), expected);
  EXPECT_EQ(slots[1].watching, 1);
  EXPECT_EQ(slots[1].readerName, u"VLT B");
  EXPECT_TRUE(slots[2].readerName.empty());  // no new slot for a known name
}

TEST_F(ReaderMonitorTest, ThirtyThirdNameIsIgnoredWhileKnownNamesAreReArmed) {
  auto name = [](int i) { return u"VLT " + std::u16string(1, static_cast<char16_t>(u'A' + i)); };
  for (int i = 0; i < 33; ++i) pcsc.AddReader(name(i));
  StartAndPass();
  EXPECT_EQ(Events().size(), 32u);
  EXPECT_EQ(slots[31].readerName, name(31));

  for (int i = 0; i < 33; ++i) pcsc.RemoveReader(name(i));
  fake.threads.RunPending();
  for (int i = 32; i >= 0; --i) pcsc.AddReader(name(i));  // the unknown name now comes first
  loop.Pass();
  const auto events = Events();
  ASSERT_EQ(events.size(), 96u);  // 32 arrivals, 32 ends, 32 arrivals again
  for (size_t i = 64; i < 96; ++i) EXPECT_EQ(events[i].code, kReaderArrived);
  for (const ReaderSlot& slot : slots) EXPECT_NE(slot.readerName, name(32));
}

TEST_F(ReaderMonitorTest, WatcherThatCannotStartLeavesTheSlotIdleAndIsRetried) {
  pcsc.AddReader(u"VLT A");
  fake.threads.failStarts = true;
  StartAndPass();
  EXPECT_EQ(slots[0].readerName, u"VLT A");
  EXPECT_EQ(slots[0].watching, 0);
  EXPECT_EQ(slots[0].watcherThread, 0u);
  EXPECT_TRUE(Events().empty());

  fake.threads.failStarts = false;
  loop.Pass();
  EXPECT_EQ(Events(), (std::vector<ReaderEventRecord>{{kReaderArrived, &slots[0]}}));
}

TEST_F(ReaderMonitorTest, WatcherThatEndsAtOnceLeavesItsSlotIdle) {
  fake.threads.deferred = false;  // the watcher runs to its end inside the start
  pcsc.AddReader(u"VLT A");
  pcsc.ScriptStatus(u"VLT A", SCARD_E_UNKNOWN_READER, 0);
  StartAndPass();
  EXPECT_EQ(slots[0].watching, 0);
  EXPECT_EQ(slots[0].watcherThread, 0u);
  EXPECT_EQ(Events(), (std::vector<ReaderEventRecord>{{kWatcherEnded, &slots[0]}, {kReaderArrived, &slots[0]}}));
}

TEST_F(ReaderMonitorTest, FailedOrOverlongListingChangesNothing) {
  pcsc.AddReader(u"VLT A");
  pcsc.Script(FakePcsc::Call::List, {SCARD_E_NO_READERS_AVAILABLE, static_cast<int32_t>(0x80100001)});
  StartAndPass();
  loop.Pass();
  EXPECT_TRUE(Events().empty());

  pcsc.RemoveReader(u"VLT A");
  for (char16_t c : std::u16string(u"ABCD")) pcsc.AddReader(u"VLT " + std::u16string(250, c));
  pcsc.AddReader(u"VLT E");  // 4 x 255 + 6 + 1 = 1027 code units: more than the list buffer holds
  loop.Pass();
  EXPECT_TRUE(Events().empty());
  EXPECT_TRUE(slots[0].readerName.empty());
}

TEST_F(ReaderMonitorTest, ReaderPluggedBetweenTwoWaitsIsFoundOnTheNextPass) {
  StartAndPass();  // no reader; the wait ends by its time-out
  pcsc.AddReader(u"VLT Late");
  loop.Pass();
  EXPECT_EQ(Events(), (std::vector<ReaderEventRecord>{{kReaderArrived, &slots[0]}}));
}

TEST_F(ReaderMonitorTest, WhereThePseudoReaderCountsReadersTheWaitHasNoTimeOutAndMissesNoChange) {
  pcsc.countsReaders = true;
  StartAndPass();              // unaware: returns at once with the count 0
  pcsc.AddReader(u"VLT A");    // plugged between two waits
  loop.Pass();                 // listed, and the wait sees the count out of date
  std::thread pass([this] { loop.Pass(); });
  pcsc.AwaitWaits(1);          // now it blocks, with no time-out
  pcsc.AddReader(u"VLT B");
  pass.join();
  pcsc.AddReader(u"VLT C");
  loop.Pass();
  EXPECT_EQ(Events(), (std::vector<ReaderEventRecord>{
                          {kReaderArrived, &slots[0]}, {kReaderArrived, &slots[1]}, {kReaderArrived, &slots[2]}}));
  EXPECT_EQ(pcsc.count("wait 1 \\\\?PNP?\\NOTIFICATION INF"), 4);
  EXPECT_TRUE(fake.threads.sleeps().empty());
}

TEST_F(ReaderMonitorTest, AnEndingWatcherCutsTheUntimedWaitShortSoAQuickReplugIsSeen) {
  pcsc.countsReaders = true;
  pcsc.AddReader(u"VLT A");
  StartAndPass();
  // Unplugged and plugged again before its watcher noticed: the list shows
  // the reader with its slot still watched, and the count has not changed.
  pcsc.ScriptStatus(u"VLT A", SCARD_E_UNKNOWN_READER, 0);
  std::thread pass([this] { loop.Pass(); });
  pcsc.AwaitWaits(1);         // waiting without a time-out
  fake.threads.RunPending();  // the watcher finds its reader gone and ends
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (pcsc.waiting() > 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  const bool woken = pcsc.waiting() == 0;
  if (!woken) pcsc.Wake();  // a guard: the test fails instead of hanging
  pass.join();
  EXPECT_TRUE(woken) << "the monitor still waits for a change that has come and gone";
  loop.Pass();
  EXPECT_EQ(Events(), (std::vector<ReaderEventRecord>{
                          {kReaderArrived, &slots[0]}, {kWatcherEnded, &slots[0]}, {kReaderArrived, &slots[0]}}));
  EXPECT_EQ(pcsc.count("cancel 1"), 1);
  EXPECT_TRUE(fake.threads.sleeps().empty());
}

TEST_F(ReaderMonitorTest, RepeatedImmediateWaitErrorsArePaced) {
  StartAndPass();
  for (int i = 0; i < 7; ++i) pcsc.ScriptStatus(u"\\\\?PNP?\\NOTIFICATION", SCARD_E_INVALID_VALUE, 0);
  for (int i = 0; i < 8; ++i) loop.Pass();
  pcsc.ScriptStatus(u"\\\\?PNP?\\NOTIFICATION", SCARD_E_INVALID_VALUE, 0);
  loop.Pass();
  EXPECT_EQ(fake.threads.sleeps(), (std::vector<uint32_t>{100, 200, 400, 800, 1600, 2000, 2000, 100}));
}

TEST_F(ReaderMonitorTest, LostServiceIsReestablishedWithPacingAndReadersArePickedUpAgain) {
  pcsc.AddReader(u"VLT A");
  StartAndPass();
  pcsc.RemoveReader(u"VLT A");
  fake.threads.RunPending();  // its watcher ends

  pcsc.StopService();  // the monitor's context is dead for good
  pcsc.StartService();
  pcsc.AddReader(u"VLT A");
  pcsc.AddReader(u"VLT B");
  pcsc.Script(FakePcsc::Call::Establish, std::vector<int32_t>(7, SCARD_E_NO_SERVICE));
  loop.Pass();
  EXPECT_EQ(fake.threads.sleeps(), (std::vector<uint32_t>{100, 200, 400, 800, 1600, 2000, 2000}));
  EXPECT_EQ(pcsc.count("release 1"), 1);  // the dead context is let go
  loop.Pass();
  const auto events = Events();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[2], (ReaderEventRecord{kReaderArrived, &slots[0]}));
  EXPECT_EQ(events[3], (ReaderEventRecord{kReaderArrived, &slots[1]}));
}

TEST_F(ReaderMonitorTest, StartingWithoutAPcscPortStartsNothing) {
  fake.platform.pcsc = nullptr;
  StartReaderMonitor(fake.platform);
  EXPECT_EQ(fake.threads.started(), 0);
}

}  // namespace
}  // namespace qarx
