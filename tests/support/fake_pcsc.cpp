#include "support/fake_pcsc.h"

#include <algorithm>
#include <cstdio>

#include "common/text.h"

namespace qarx::testing {

namespace {

bool IsPnp(const std::u16string& name) { return name == u"\\\\?PNP?\\NOTIFICATION"; }

std::string HexOf(const uint8_t* bytes, uint32_t length) {
  std::string out;
  char two[3];
  for (uint32_t i = 0; i < length; ++i) {
    std::snprintf(two, sizeof two, "%02X", bytes[i]);
    out += two;
  }
  return out;
}

}  // namespace

std::vector<uint8_t> Hex(std::string_view hex) {
  auto nibble = [](char c) {
    return static_cast<uint8_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
  };
  std::vector<uint8_t> bytes;
  std::string digits;
  for (char c : hex)
    if (c != ' ') digits.push_back(c);
  for (size_t i = 0; i + 1 < digits.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(nibble(digits[i]) << 4 | nibble(digits[i + 1])));
  return bytes;
}

void FakePcsc::Record(std::string line) { calls_.push_back(std::move(line)); }

bool FakePcsc::TakeScripted(Call call, int32_t& rc) {
  auto& queue = scripted_[call];
  if (queue.empty()) return false;
  rc = queue.front();
  queue.pop_front();
  return rc != SCARD_S_SUCCESS;
}

bool FakePcsc::ContextAlive(ScardContext context) const {
  auto it = contexts_.find(context);
  return it != contexts_.end() && it->second;
}

uint32_t FakePcsc::StateOf(const Reader& reader) const {
  return (reader.counter << 16) | (reader.card ? SCARD_STATE_PRESENT : SCARD_STATE_EMPTY);
}

int32_t FakePcsc::EstablishContext(uint32_t scope, ScardContext& context) {
  std::lock_guard lock(mu_);
  Record("establish " + std::to_string(scope));
  int32_t rc = 0;
  if (TakeScripted(Call::Establish, rc)) return rc;
  if (!serviceUp_) return SCARD_E_NO_SERVICE;
  context = ++nextContext_;
  contexts_[context] = true;
  return SCARD_S_SUCCESS;
}

void FakePcsc::WaitForServiceStart() {
  std::lock_guard lock(mu_);
  Record("await service");
}

int32_t FakePcsc::ReleaseContext(ScardContext context) {
  std::lock_guard lock(mu_);
  Record("release " + std::to_string(context));
  if (contexts_.erase(context) == 0) return SCARD_E_INVALID_HANDLE;
  return SCARD_S_SUCCESS;
}

int32_t FakePcsc::ListReaders(ScardContext context, std::u16string& multiString, uint32_t& length) {
  std::lock_guard lock(mu_);
  Record("list " + std::to_string(context));
  int32_t rc = 0;
  if (TakeScripted(Call::List, rc)) return rc;
  if (!ContextAlive(context)) return SCARD_E_NO_SERVICE;
  if (order_.empty()) return SCARD_E_NO_READERS_AVAILABLE;
  std::u16string list;
  for (const auto& name : order_) {
    list += name;
    list.push_back(u'\0');
  }
  list.push_back(u'\0');
  const uint32_t capacity = length;
  length = static_cast<uint32_t>(list.size());
  if (list.size() > capacity) return SCARD_E_INSUFFICIENT_BUFFER;
  multiString = list;
  return SCARD_S_SUCCESS;
}

int32_t FakePcsc::GetStatusChange(ScardContext context, uint32_t timeoutMs, ReaderState* states, uint32_t count) {
  std::unique_lock lock(mu_);
  if (count != 1) return SCARD_E_INVALID_VALUE;
  ReaderState& state = states[0];
  Record("wait " + std::to_string(context) + " " + ToUtf8(state.reader) + " " +
         (timeoutMs == INFINITE_TIMEOUT ? std::string("INF") : std::to_string(timeoutMs)));
  auto scripted = scriptedStatus_.find(state.reader);
  if (scripted != scriptedStatus_.end() && !scripted->second.empty()) {
    const auto [rc, eventState] = scripted->second.front();
    scripted->second.pop_front();
    state.eventState = eventState;
    return rc;
  }
  if (!ContextAlive(context)) return SCARD_E_NO_SERVICE;
  ++waiting_;
  const int32_t rc = WaitForChange(context, state, timeoutMs, lock);
  --waiting_;
  return rc;
}

int32_t FakePcsc::WaitForChange(ScardContext context, ReaderState& state, uint32_t timeoutMs,
                                std::unique_lock<std::mutex>& lock) {
  const uint64_t cancels = cancels_[context];
  const uint64_t service = serviceGeneration_;
  const uint64_t readerSet = readerSetGeneration_;
  const uint64_t wake = wakeGeneration_;
  const bool knownAtEntry = readers_.count(state.reader) != 0;
  bool blocked = false;
  for (;;) {
    if (serviceGeneration_ != service) return SCARD_F_COMM_ERROR;
    if (cancels_[context] != cancels) return SCARD_E_CANCELLED;
    if (IsPnp(state.reader) && countsReaders) {
      const uint32_t readers = static_cast<uint32_t>(readers_.size());
      if (state.currentState == SCARD_STATE_UNAWARE || (state.currentState >> 16) != readers) {
        state.eventState = (readers << 16) | SCARD_STATE_CHANGED;
        return SCARD_S_SUCCESS;
      }
    } else if (IsPnp(state.reader)) {
      if (readerSetGeneration_ != readerSet) {
        state.eventState = SCARD_STATE_CHANGED;
        return SCARD_S_SUCCESS;
      }
    } else {
      auto it = readers_.find(state.reader);
      if (it == readers_.end()) {
        if (!knownAtEntry) return SCARD_E_UNKNOWN_READER;
        state.eventState = SCARD_STATE_CHANGED | SCARD_STATE_UNKNOWN | SCARD_STATE_UNAVAILABLE;
        return SCARD_S_SUCCESS;
      }
      const uint32_t actual = StateOf(it->second);
      if ((state.currentState & ~SCARD_STATE_CHANGED) != actual) {
        state.eventState = actual | SCARD_STATE_CHANGED;
        return SCARD_S_SUCCESS;
      }
    }
    if (wakeGeneration_ != wake || timeoutMs != INFINITE_TIMEOUT) return SCARD_E_TIMEOUT;
    if (!blocked) {
      blocked = true;
      ++waitsBegun_;
      cv_.notify_all();
    }
    cv_.wait(lock);
  }
}

int32_t FakePcsc::Connect(ScardContext context, const std::u16string& reader, uint32_t, uint32_t,
                          ScardHandle& card, uint32_t& activeProtocol) {
  std::lock_guard lock(mu_);
  Record("connect " + std::to_string(context) + " " + ToUtf8(reader));
  int32_t rc = 0;
  if (TakeScripted(Call::Connect, rc)) return rc;
  if (!ContextAlive(context)) return SCARD_E_NO_SERVICE;
  auto it = readers_.find(reader);
  if (it == readers_.end()) return SCARD_E_UNKNOWN_READER;
  if (!it->second.card) return SCARD_E_NO_SMARTCARD;
  card = ++nextHandle_;
  activeProtocol = it->second.cardData.protocol;
  connections_[card] = reader;
  return SCARD_S_SUCCESS;
}

int32_t FakePcsc::Transmit(ScardHandle card, uint32_t protocol, const uint8_t* command, uint32_t length,
                           uint8_t* answer, uint32_t& answerLength) {
  std::lock_guard lock(mu_);
  const char* pci = protocol == SCARD_PROTOCOL_T0 ? "T0" : protocol == SCARD_PROTOCOL_T1 ? "T1" : "T?";
  Record("transmit " + std::to_string(card) + " " + pci + " " + HexOf(command, length));
  int32_t rc = 0;
  if (TakeScripted(Call::Transmit, rc)) return rc;
  auto connection = connections_.find(card);
  if (connection == connections_.end()) return SCARD_E_INVALID_HANDLE;
  auto reader = readers_.find(connection->second);
  if (reader == readers_.end() || !reader->second.card) return SCARD_E_NO_SMARTCARD;
  const FakeCard& data = reader->second.cardData;
  auto found = data.answers.find(std::vector<uint8_t>(command, command + length));
  const std::vector<uint8_t>& reply = found == data.answers.end() ? data.defaultAnswer : found->second;
  if (reply.size() > answerLength) return SCARD_E_INSUFFICIENT_BUFFER;
  std::copy(reply.begin(), reply.end(), answer);
  answerLength = static_cast<uint32_t>(reply.size());
  return SCARD_S_SUCCESS;
}

int32_t FakePcsc::Disconnect(ScardHandle card, uint32_t) {
  std::lock_guard lock(mu_);
  Record("disconnect " + std::to_string(card));
  const bool known = connections_.erase(card) != 0;
  int32_t rc = 0;
  if (TakeScripted(Call::Disconnect, rc)) return rc;
  return known ? SCARD_S_SUCCESS : SCARD_E_INVALID_HANDLE;
}

void FakePcsc::AddReader(const std::u16string& name) {
  std::lock_guard lock(mu_);
  if (readers_.emplace(name, Reader{}).second) order_.push_back(name);
  ++readerSetGeneration_;
  cv_.notify_all();
}

void FakePcsc::RemoveReader(const std::u16string& name) {
  std::lock_guard lock(mu_);
  readers_.erase(name);
  order_.erase(std::remove(order_.begin(), order_.end(), name), order_.end());
  ++readerSetGeneration_;
  cv_.notify_all();
}

void FakePcsc::InsertCard(const std::u16string& reader, FakeCard card) {
  std::lock_guard lock(mu_);
  Reader& r = readers_.at(reader);
  r.card = true;
  r.cardData = std::move(card);
  ++r.counter;
  cv_.notify_all();
}

void FakePcsc::RemoveCard(const std::u16string& reader) {
  std::lock_guard lock(mu_);
  Reader& r = readers_.at(reader);
  r.card = false;
  ++r.counter;
  cv_.notify_all();
}

void FakePcsc::StopService() {
  std::lock_guard lock(mu_);
  serviceUp_ = false;
  ++serviceGeneration_;
  for (auto& [context, alive] : contexts_) alive = false;
  connections_.clear();
  cv_.notify_all();
}

void FakePcsc::StartService() {
  std::lock_guard lock(mu_);
  serviceUp_ = true;
}

int32_t FakePcsc::Cancel(ScardContext context) {
  std::lock_guard lock(mu_);
  Record("cancel " + std::to_string(context));
  if (!ContextAlive(context)) return SCARD_E_INVALID_HANDLE;
  ++cancels_[context];
  cv_.notify_all();
  return SCARD_S_SUCCESS;
}

void FakePcsc::Wake() {
  std::lock_guard lock(mu_);
  ++wakeGeneration_;
  cv_.notify_all();
}

void FakePcsc::Script(Call call, std::vector<int32_t> results) {
  std::lock_guard lock(mu_);
  auto& queue = scripted_[call];
  queue.insert(queue.end(), results.begin(), results.end());
}

void FakePcsc::ScriptStatus(const std::u16string& reader, int32_t rc, uint32_t eventState) {
  std::lock_guard lock(mu_);
  scriptedStatus_[reader].emplace_back(rc, eventState);
}

std::vector<std::string> FakePcsc::calls() const {
  std::lock_guard lock(mu_);
  return calls_;
}

int FakePcsc::count(std::string_view prefix) const {
  std::lock_guard lock(mu_);
  return static_cast<int>(std::count_if(calls_.begin(), calls_.end(),
                                        [&](const std::string& c) { return c.starts_with(prefix); }));
}

int FakePcsc::liveContexts() const {
  std::lock_guard lock(mu_);
  return static_cast<int>(std::count_if(contexts_.begin(), contexts_.end(), [](const auto& c) { return c.second; }));
}

int FakePcsc::waiting() const {
  std::lock_guard lock(mu_);
  return waiting_;
}

void FakePcsc::AwaitWaits(int total) {
  std::unique_lock lock(mu_);
  cv_.wait(lock, [&] { return waitsBegun_ >= total; });
}

}  // namespace qarx::testing
