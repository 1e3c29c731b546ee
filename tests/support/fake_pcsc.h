// A PC/SC resource manager in memory that behaves like pcsc-lite where the
// card side depends on it: readers that appear and disappear, cards with
// answer tables, a plug-and-play pseudo-reader that reports only changes
// made during a call, a service that can die and come back, and status
// waits that really block until something changes or the test wakes them.
// Any call kind can be given scripted result codes first.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/pcsc.h"

namespace qarx::testing {

std::vector<uint8_t> Hex(std::string_view hex);  // "7E 10 00" or "7E1000"

struct FakeCard {
  std::map<std::vector<uint8_t>, std::vector<uint8_t>> answers;  // command -> answer
  std::vector<uint8_t> defaultAnswer{0x6D, 0x00};
  uint32_t protocol = SCARD_PROTOCOL_T1;
};

class FakePcsc : public PcscPort {
 public:
  int32_t EstablishContext(uint32_t scope, ScardContext& context) override;
  void WaitForServiceStart() override;
  int32_t ReleaseContext(ScardContext context) override;
  int32_t ListReaders(ScardContext context, std::u16string& multiString, uint32_t& length) override;
  int32_t GetStatusChange(ScardContext context, uint32_t timeoutMs, ReaderState* states, uint32_t count) override;
  int32_t Connect(ScardContext context, const std::u16string& reader, uint32_t shareMode,
                  uint32_t preferredProtocols, ScardHandle& card, uint32_t& activeProtocol) override;
  int32_t Transmit(ScardHandle card, uint32_t protocol, const uint8_t* command, uint32_t length,
                   uint8_t* answer, uint32_t& answerLength) override;
  int32_t Disconnect(ScardHandle card, uint32_t disposition) override;
  int32_t Cancel(ScardContext context) override;
  bool PnpCountsReaders() const override { return countsReaders; }
  // The library's words for two codes, as pcsc-lite's would be.
  std::string ErrorText(int32_t code) const override {
    if (code == SCARD_E_UNKNOWN_READER) return "Unknown reader specified.";
    if (code == SCARD_E_NO_SMARTCARD) return "No smart card inserted.";
    return {};
  }

  // winscard's pseudo-reader: the reader count in the high word, and a wait
  // that returns at once while the caller's count is out of date.
  bool countsReaders = false;

  // ---- the world ----
  void AddReader(const std::u16string& name);
  // Waiting calls on it return CHANGED|UNKNOWN|UNAVAILABLE; later calls
  // naming it return SCARD_E_UNKNOWN_READER.
  void RemoveReader(const std::u16string& name);
  void InsertCard(const std::u16string& reader, FakeCard card = {});
  void RemoveCard(const std::u16string& reader);
  // The daemon dies: waiting calls return SCARD_F_COMM_ERROR, every context
  // answers SCARD_E_NO_SERVICE for good, establishing fails until Start.
  void StopService();
  void StartService();
  // Waiting calls return SCARD_E_TIMEOUT.
  void Wake();

  // ---- scripted results: consumed first, one per call; 0 = behave normally ----
  enum class Call { Establish, List, Connect, Transmit, Disconnect };
  void Script(Call call, std::vector<int32_t> results);
  // The next status calls naming reader return these results verbatim.
  void ScriptStatus(const std::u16string& reader, int32_t rc, uint32_t eventState);

  // ---- observation ----
  // One line per call, e.g. "establish 2", "release 1", "list 1", "wait 1 VLT A INF",
  // "connect 1 VLT A", "transmit 5 T1 7E10000100", "disconnect 5", "cancel 1".
  std::vector<std::string> calls() const;
  int count(std::string_view prefix) const;  // calls starting with prefix
  int liveContexts() const;
  int waiting() const;  // status calls blocked right now
  // Blocks until total status calls, counted from the start, have begun to
  // block: the caller has done everything it does before that wait.
  void AwaitWaits(int total);

 private:
  struct Reader {
    bool card = false;
    FakeCard cardData;
    uint32_t counter = 0;
  };
  void Record(std::string line);
  bool TakeScripted(Call call, int32_t& rc);
  bool ContextAlive(ScardContext context) const;
  uint32_t StateOf(const Reader& reader) const;
  int32_t WaitForChange(ScardContext context, ReaderState& state, uint32_t timeoutMs,
                        std::unique_lock<std::mutex>& lock);

  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::vector<std::u16string> order_;  // listing order
  std::map<std::u16string, Reader> readers_;
  std::map<ScardContext, bool> contexts_;  // alive?
  std::map<ScardContext, uint64_t> cancels_;  // Cancel calls per context
  std::map<ScardHandle, std::u16string> connections_;
  std::map<Call, std::deque<int32_t>> scripted_;
  std::map<std::u16string, std::deque<std::pair<int32_t, uint32_t>>> scriptedStatus_;
  std::vector<std::string> calls_;
  bool serviceUp_ = true;
  uint64_t serviceGeneration_ = 0;
  uint64_t readerSetGeneration_ = 0;
  uint64_t wakeGeneration_ = 0;
  uint64_t nextContext_ = 0;
  uint64_t nextHandle_ = 100;
  int waiting_ = 0;
  int waitsBegun_ = 0;
};

}  // namespace qarx::testing
