#include "terminal/dev_info.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <functional>
#include <set>
#include <thread>

#include "support/arrival_window.h"
#include "support/fake_pcsc.h"
#include "support/fake_platform.h"

namespace qarx {
namespace {

using testing::FakeCard;
using testing::FakePcsc;
using testing::FakePlatform;
using testing::Hex;

const std::vector<uint8_t> kCommand = Hex("7E 10 00 01 00");

class DevInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.platform.pcsc = &pcsc;
    for (char16_t c = u'A'; c <= u'L'; ++c) {
      const std::u16string name = std::u16string(u"VLT ") + c;
      pcsc.AddReader(name);
      FakeCard card;
      // Each terminal answers 01 01 and one byte of its own ('0' for A, '1' for B, ...).
      card.answers[kCommand] = Hex(std::string("0101 3") + static_cast<char>('0' + (c - u'A') % 10) + "9000");
      pcsc.InsertCard(name, card);
    }
  }
  int Open(const std::u16string& name) {
    int index = -99;
    const int32_t rc = table.Open(fake.platform, name, index);
    return rc == 0 ? index : rc;
  }
  int32_t Send(int index, std::vector<uint8_t>& answer) {
    uint8_t buffer[kDevAnswerCapacity] = {};
    int length = -1;
    const int32_t rc = table.Transmit(fake.platform, index, kCommand.data(), static_cast<int>(kCommand.size()),
                                      buffer, length);
    answer.assign(buffer, buffer + std::max(length, 0));
    return rc;
  }
  FakePlatform fake;
  FakePcsc pcsc;
  DevInfoTable table;
};

TEST_F(DevInfoTest, EleventhOpenFailsAndTheLowestFreedIndexIsReused) {
  for (int i = 0; i < 10; ++i) EXPECT_EQ(Open(std::u16string(u"VLT ") + char16_t(u'A' + i)), i);
  EXPECT_EQ(Open(u"VLT K"), kDevNoFreeEntry);
  EXPECT_EQ(pcsc.count("connect"), 10);

  table.Close(fake.platform, 7);
  table.Close(fake.platform, 3);
  EXPECT_EQ(Open(u"VLT K"), 3);
  EXPECT_EQ(std::u16string(table.entry(3).readerName), u"VLT K");
  EXPECT_EQ(Open(u"VLT L"), 7);
}

TEST_F(DevInfoTest, OpenTerminalsShareOneContextUntilTheLastCloses) {
  const int first = Open(u"VLT A");
  const int second = Open(u"VLT B");
  EXPECT_EQ(pcsc.calls().front(), "establish 0");  // user scope
  EXPECT_EQ(pcsc.count("establish"), 1);
  EXPECT_EQ(table.referenceCount(), 2);

  table.Close(fake.platform, first);
  std::vector<uint8_t> answer;
  EXPECT_EQ(Send(second, answer), 0);
  EXPECT_EQ(answer, Hex("0101 31 9000"));
  EXPECT_EQ(pcsc.count("release"), 0);

  table.Close(fake.platform, second);
  EXPECT_EQ(pcsc.count("release"), 1);
  EXPECT_EQ(table.context(), kReleasedContext);
  EXPECT_EQ(Send(second, answer), kDevContextReleased);
  EXPECT_EQ(Send(5, answer), kDevContextReleased);  // never opened: the context is checked first

  EXPECT_EQ(Open(u"VLT C"), 0);
  EXPECT_EQ(pcsc.count("establish"), 2);
}

TEST_F(DevInfoTest, ContextThatCannotBeEstablishedLeavesEverythingFree) {
  pcsc.Script(FakePcsc::Call::Establish, {SCARD_E_NO_SERVICE});
  EXPECT_EQ(Open(u"VLT A"), kDevNoContext);
  EXPECT_EQ(table.context(), 0u);
  EXPECT_EQ(table.entry(0).inUse, 0);
  EXPECT_EQ(pcsc.count("connect"), 0);
  EXPECT_EQ(Open(u"VLT A"), 0);  // the next open tries again
}

TEST_F(DevInfoTest, ConnectFailurePassesTheCodeOnAndKeepsTheContext) {
  EXPECT_EQ(Open(u"VLT Nowhere"), SCARD_E_UNKNOWN_READER);
  pcsc.RemoveCard(u"VLT A");
  EXPECT_EQ(Open(u"VLT A"), SCARD_E_NO_SMARTCARD);
  for (const DEV_INFO* e = &table.entry(0); e != &table.entry(0) + kDevInfoCount; ++e) EXPECT_EQ(e->inUse, 0);
  EXPECT_EQ(table.referenceCount(), 0);
  EXPECT_EQ(pcsc.count("release"), 0);
  EXPECT_EQ(Open(u"VLT B"), 0);
  EXPECT_EQ(pcsc.count("establish"), 1);  // established once, kept for later calls
}

TEST_F(DevInfoTest, ContextOfAServiceThatWentAwayIsReplacedByTheNextOpen) {
  pcsc.RemoveCard(u"VLT A");
  EXPECT_EQ(Open(u"VLT A"), SCARD_E_NO_SMARTCARD);  // the context stays established
  pcsc.StopService();
  pcsc.StartService();
  EXPECT_EQ(Open(u"VLT B"), SCARD_E_NO_SERVICE);  // still passed on unchanged
  EXPECT_EQ(table.context(), kReleasedContext);
  EXPECT_EQ(Open(u"VLT B"), 0);
  EXPECT_EQ(pcsc.count("establish"), 2);
}

TEST_F(DevInfoTest, ContextStillUsedByOpenEntriesIsKeptWhenTheServiceWentAway) {
  const int open = Open(u"VLT A");
  pcsc.StopService();
  pcsc.StartService();
  EXPECT_EQ(Open(u"VLT B"), SCARD_E_NO_SERVICE);
  EXPECT_EQ(pcsc.count("release"), 0);
  table.Close(fake.platform, open);  // the last user lets it go
  EXPECT_EQ(pcsc.count("release"), 1);
  EXPECT_EQ(Open(u"VLT B"), 0);
}

TEST_F(DevInfoTest, TransmitResultCodes) {
  const int open = Open(u"VLT A");
  const int closed = Open(u"VLT B");
  table.Close(fake.platform, closed);
  std::vector<uint8_t> answer;

  EXPECT_EQ(Send(closed, answer), kDevEntryClosed);
  EXPECT_EQ(Send(9, answer), kDevUnknownProtocol);  // never opened: all fields zero
  EXPECT_EQ(pcsc.count("transmit"), 0);

  pcsc.Script(FakePcsc::Call::Transmit, {SCARD_E_INSUFFICIENT_BUFFER});
  answer = {0xEE};
  EXPECT_EQ(Send(open, answer), SCARD_E_INSUFFICIENT_BUFFER);
  EXPECT_EQ(table.entry(open).inUse, 1);  // the caller still closes it
  EXPECT_EQ(Send(open, answer), 0);
  EXPECT_EQ(answer, Hex("0101 30 9000"));
}

TEST_F(DevInfoTest, TransmitUsesTheBlockOfTheActiveProtocol) {
  FakeCard t0;
  t0.protocol = SCARD_PROTOCOL_T0;
  t0.defaultAnswer = Hex("9000");
  pcsc.InsertCard(u"VLT A", t0);
  const int index = Open(u"VLT A");
  const int other = Open(u"VLT B");
  EXPECT_EQ(table.entry(index).activeProtocol, SCARD_PROTOCOL_T0);
  std::vector<uint8_t> answer;
  pcsc.InsertCard(u"VLT A", t0);
  EXPECT_EQ(Send(index, answer), 0);
  EXPECT_EQ(Send(other, answer), 0);
  const auto calls = pcsc.calls();
  EXPECT_NE(std::find_if(calls.begin(), calls.end(), [](const std::string& c) { return c.find(" T0 7E10000100") != std::string::npos; }), calls.end());
  EXPECT_NE(std::find_if(calls.begin(), calls.end(), [](const std::string& c) { return c.find(" T1 7E10000100") != std::string::npos; }), calls.end());
}

TEST_F(DevInfoTest, StatusWordOnlyAnswerHasLengthTwo) {
  FakeCard card;
  card.defaultAnswer = Hex("6A82");
  pcsc.InsertCard(u"VLT A", card);
  std::vector<uint8_t> answer;
  EXPECT_EQ(Send(Open(u"VLT A"), answer), 0);
  EXPECT_EQ(answer, Hex("6A82"));
}

TEST_F(DevInfoTest, SameReaderTwiceGivesTwoConnections) {
  EXPECT_EQ(Open(u"VLT A"), 0);
  EXPECT_EQ(Open(u"VLT A"), 1);
  EXPECT_NE(table.entry(0).cardHandle, table.entry(1).cardHandle);
}

TEST_F(DevInfoTest, CloseAlwaysSucceedsAndClearsTheEntry) {
  const int index = Open(u"VLT A");
  pcsc.Script(FakePcsc::Call::Disconnect, {SCARD_E_INVALID_HANDLE});
  EXPECT_EQ(table.Close(fake.platform, index), 0);
  const DEV_INFO& entry = table.entry(index);
  EXPECT_EQ(entry.readerName[0], u'\0');
  EXPECT_EQ(entry.cardHandle, kClosedCardHandle);
  EXPECT_EQ(entry.activeProtocol, 0u);
  EXPECT_EQ(entry.inUse, 0);
  EXPECT_EQ(table.context(), kReleasedContext);
  EXPECT_EQ(table.Close(fake.platform, 42), 0);  // outside the table: nothing to touch
}

TEST_F(DevInfoTest, ReaderNameMustFitTheNameField) {
  const std::u16string longest = u"VLT " + std::u16string(251, u'x');
  const std::u16string tooLong = longest + u"y";
  pcsc.AddReader(longest);
  pcsc.InsertCard(longest);
  pcsc.AddReader(tooLong);
  pcsc.InsertCard(tooLong);

  EXPECT_EQ(Open(tooLong), kDevNameTooLong);
  EXPECT_EQ(pcsc.calls().size(), 0u) << "refused before anything is established or connected";
  EXPECT_EQ(Open(longest), 0);
  EXPECT_EQ(std::u16string(table.entry(0).readerName), longest);
}

TEST_F(DevInfoTest, OpenAndCloseHoldTheNamedTableLockWithTheirOwnHandle) {
  const std::u16string lock = u"the Mutex of DEV_INFO struct!";
  const int index = Open(u"VLT A");
  std::vector<uint8_t> answer;
  Send(index, answer);
  table.Close(fake.platform, index);
  EXPECT_EQ(fake.mutexes.createCount(lock), 2);  // one handle per open and per close, none for transmit
  EXPECT_FALSE(fake.mutexes.Exists(lock));       // each handle was closed again
}

// The resource manager seen by two checks at once: connects pass an arrival
// window, and the first connect starts a second open meanwhile.
class OverlapWatch : public PcscPort {
 public:
  explicit OverlapWatch(PcscPort& inner) : inner_(inner) {}
  int32_t EstablishContext(uint32_t scope, ScardContext& context) override {
    return inner_.EstablishContext(scope, context);
  }
  int32_t ReleaseContext(ScardContext context) override { return inner_.ReleaseContext(context); }
  int32_t ListReaders(ScardContext context, std::u16string& readers, uint32_t& length) override {
    return inner_.ListReaders(context, readers, length);
  }
  int32_t GetStatusChange(ScardContext context, uint32_t timeoutMs, ReaderState* states, uint32_t count) override {
    return inner_.GetStatusChange(context, timeoutMs, states, count);
  }
  int32_t Connect(ScardContext context, const std::u16string& reader, uint32_t shareMode, uint32_t protocols,
                  ScardHandle& card, uint32_t& activeProtocol) override {
    if (onFirst && !started_.exchange(true)) onFirst();
    window.Enter();
    const int32_t rc = inner_.Connect(context, reader, shareMode, protocols, card, activeProtocol);
    window.Leave();
    return rc;
  }
  int32_t Transmit(ScardHandle card, uint32_t protocol, const uint8_t* command, uint32_t length, uint8_t* answer,
                   uint32_t& answerLength) override {
    return inner_.Transmit(card, protocol, command, length, answer, answerLength);
  }
  int32_t Disconnect(ScardHandle card, uint32_t disposition) override { return inner_.Disconnect(card, disposition); }
  int32_t Cancel(ScardContext context) override { return inner_.Cancel(context); }

  std::function<void()> onFirst;
  testing::ArrivalWindow window;

 private:
  PcscPort& inner_;
  std::atomic<bool> started_{false};
};

TEST_F(DevInfoTest, WithoutItsNamedMutexTheTableIsStillOneCallAtATime) {
  fake.mutexes.failCreate = true;  // the mutex folder refused
  OverlapWatch watch(pcsc);
  fake.platform.pcsc = &watch;
  int second = -99;
  std::thread other;
  watch.onFirst = [&] { other = std::thread([&] { second = Open(u"VLT B"); }); };
  const int first = Open(u"VLT A");
  other.join();

  EXPECT_FALSE(watch.window.overlapped());
  EXPECT_EQ(std::set<int>({first, second}), std::set<int>({0, 1}));
  EXPECT_EQ(table.referenceCount(), 2);
  EXPECT_EQ(pcsc.count("establish"), 1);
}

}  // namespace
}  // namespace qarx
