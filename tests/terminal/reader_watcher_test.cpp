#include "terminal/reader_watcher.h"

#include <thread>

#include "terminal/terminal_fixture.h"

namespace qarx {
namespace {

using testing::FakePcsc;

constexpr uint32_t kGone = SCARD_STATE_CHANGED | SCARD_STATE_UNKNOWN | SCARD_STATE_UNAVAILABLE;
constexpr uint32_t kPresent = SCARD_STATE_CHANGED | SCARD_STATE_PRESENT;
constexpr uint32_t kEmpty = SCARD_STATE_CHANGED | SCARD_STATE_EMPTY;
constexpr uint32_t Count(uint32_t n) { return n << 16; }

class ReaderWatcherTest : public testing::ReaderFixture {
 protected:
  ReaderWatcherTest() {
    slot.readerName = u"VLT A";
    slot.watcherThread = 7;  // as the monitor leaves it when it starts the watcher
    slot.watching = 1;
    pcsc.AddReader(u"VLT A");
  }
  std::vector<uintptr_t> Codes() const {
    std::vector<uintptr_t> codes;
    for (const auto& e : Events()) {
      EXPECT_EQ(e.slot, &slot);
      codes.push_back(e.code);
    }
    return codes;
  }
  ReaderSlot& slot = slots[3];
};

struct Step {
  int32_t rc;
  uint32_t eventState;
};
struct Sequence {
  const char* what;
  std::vector<Step> steps;
  std::vector<uintptr_t> codes;
};

TEST_F(ReaderWatcherTest, ReportsEachCardChangeOnceAndEndsWhenTheReaderIsGone) {
  const Sequence sequences[] = {
      {"card in at start", {{0, kPresent | Count(1)}, {0, kGone}}, {kCardInserted, kWatcherEnded}},
      {"empty at start, gone as unknown reader", {{0, kEmpty}, {SCARD_E_UNKNOWN_READER, 0}}, {kCardRemoved, kWatcherEnded}},
      {"insert then remove, then no readers",
       {{0, kEmpty}, {0, kPresent | Count(1)}, {0, kEmpty | Count(2)}, {SCARD_E_NO_READERS_AVAILABLE, 0}},
       {kCardRemoved, kCardInserted, kCardRemoved, kWatcherEnded}},
      {"a change of the event counter alone", {{0, kPresent | Count(1)}, {0, kPresent | Count(5)}, {0, kGone}},
       {kCardInserted, kWatcherEnded}},
      {"in use and back", {{0, kPresent}, {0, kPresent | 0x100}, {0, kPresent}, {0, kGone}},
       {kCardInserted, kWatcherEnded}},
      {"present and empty together: present wins", {{0, kPresent | kEmpty}, {0, kGone}}, {kCardInserted, kWatcherEnded}},
      {"another error keeps watching", {{0, kEmpty}, {SCARD_E_INVALID_VALUE, kEmpty}, {0, kPresent | Count(1)}, {0, kGone}},
       {kCardRemoved, kCardInserted, kWatcherEnded}},
  };
  for (const Sequence& s : sequences) {
    SCOPED_TRACE(s.what);
    fake.ui.ClearCalls();
    slot.watching = 1;
    slot.watcherThread = 7;
    testing::FakePlatform local;
    testing::FakePcsc localPcsc;
    local.platform.pcsc = &localPcsc;
    CQarxServiceDlg localDialog(local.platform);
    PublishReaderEventWindow(&localDialog);
    for (const Step& step : s.steps) localPcsc.ScriptStatus(u"VLT A", step.rc, step.eventState);

    ReaderWatcher(local.platform, &slot);

    std::vector<uintptr_t> codes;
    for (const auto& m : local.ui.posted()) codes.push_back(m.wParam);
    EXPECT_EQ(codes, s.codes);
    EXPECT_EQ(slot.watching, 0);
    EXPECT_EQ(slot.watcherThread, 0u);
    EXPECT_EQ(slot.readerName, u"VLT A");
    EXPECT_EQ(localPcsc.liveContexts(), 0);
    EXPECT_EQ(localPcsc.calls().front(), "establish 2");
    PublishReaderEventWindow(&dialog);
  }
}

TEST_F(ReaderWatcherTest, WatcherWithoutAContextLeavesItsSlotOrphaned) {
  pcsc.Script(FakePcsc::Call::Establish, {SCARD_E_NO_SERVICE});
  ReaderWatcher(fake.platform, &slot);
  EXPECT_TRUE(Events().empty());
  EXPECT_EQ(slot.watching, 1);
  EXPECT_EQ(slot.watcherThread, 7u);
}

TEST_F(ReaderWatcherTest, ImmediateErrorsArePacedUpToTheCeiling) {
  pcsc.ScriptStatus(u"VLT A", 0, kEmpty);
  for (int i = 0; i < 7; ++i) pcsc.ScriptStatus(u"VLT A", SCARD_E_INVALID_VALUE, kEmpty);
  pcsc.ScriptStatus(u"VLT A", 0, kEmpty | Count(1));
  pcsc.ScriptStatus(u"VLT A", SCARD_E_INVALID_VALUE, kEmpty | Count(1));
  pcsc.ScriptStatus(u"VLT A", SCARD_E_UNKNOWN_READER, 0);
  ReaderWatcher(fake.platform, &slot);
  EXPECT_EQ(fake.threads.sleeps(), (std::vector<uint32_t>{100, 200, 400, 800, 1600, 2000, 2000, 100}));
}

TEST_F(ReaderWatcherTest, LostServiceIsReestablishedAndOnlyRealChangesAreReported) {
  pcsc.Script(FakePcsc::Call::Establish, {0, SCARD_E_NO_SERVICE, SCARD_E_NO_SERVICE});
  pcsc.ScriptStatus(u"VLT A", 0, kPresent | Count(1));
  pcsc.ScriptStatus(u"VLT A", SCARD_F_COMM_ERROR, kPresent | Count(1));
  pcsc.ScriptStatus(u"VLT A", 0, kPresent | Count(9));  // the new daemon counts afresh
  pcsc.ScriptStatus(u"VLT A", 0, kEmpty | Count(10));
  pcsc.ScriptStatus(u"VLT A", SCARD_E_UNKNOWN_READER, 0);
  ReaderWatcher(fake.platform, &slot);
  EXPECT_EQ(Codes(), (std::vector<uintptr_t>{kCardInserted, kCardRemoved, kWatcherEnded}));
  EXPECT_EQ(fake.threads.sleeps(), (std::vector<uint32_t>{100, 200}));
  const auto calls = pcsc.calls();
  EXPECT_EQ(pcsc.count("release 1"), 1);
  EXPECT_EQ(calls.back(), "release 2");
  EXPECT_EQ(pcsc.count("wait 2 VLT A INF"), 3);
}

TEST_F(ReaderWatcherTest, BlocksUntilTheCardOrTheReaderChanges) {
  std::thread watcher([this] { ReaderWatcher(fake.platform, &slot); });
  pcsc.AwaitWaits(1);  // initial state reported, now waiting
  pcsc.InsertCard(u"VLT A");
  pcsc.AwaitWaits(2);
  pcsc.Wake();  // a time-out changes nothing
  pcsc.AwaitWaits(3);
  pcsc.RemoveCard(u"VLT A");
  pcsc.AwaitWaits(4);
  pcsc.RemoveReader(u"VLT A");
  watcher.join();
  EXPECT_EQ(Codes(), (std::vector<uintptr_t>{kCardRemoved, kCardInserted, kCardRemoved, kWatcherEnded}));
  EXPECT_TRUE(fake.threads.sleeps().empty());
  EXPECT_EQ(slot.watching, 0);
}

}  // namespace
}  // namespace qarx
