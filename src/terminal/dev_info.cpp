#include "terminal/dev_info.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>

#include "terminal/pcsc_recovery.h"

namespace qarx {

namespace {

bool ContextAbsent(ScardContext context) { return context == kReleasedContext || context == 0; }

bool ValidIndex(int index) { return index >= 0 && index < kDevInfoCount; }

// The table lock: each call opens its own handle to the named mutex, waits
// for it, and releases and closes it at the end. The table's own lock is
// taken as well, so that the threads of this process take turns even when
// the system refuses the named mutex. The handle is opened before the
// in-process lock is taken, so no thread holds one lock while it waits for
// a handle.
class TableLock {
 public:
  TableLock(MutexPort& mutexes, std::mutex& inProcess) {
    bool alreadyExisted = false;
    handle_ = mutexes.Create(std::u16string(kDevInfoMutexName), false, alreadyExisted);
    inProcess_ = std::unique_lock(inProcess);
    if (handle_) handle_->Wait();
  }
  ~TableLock() {
    if (handle_) handle_->Release();
  }
  TableLock(const TableLock&) = delete;
  TableLock& operator=(const TableLock&) = delete;

 private:
  std::unique_ptr<NamedMutex> handle_;
  std::unique_lock<std::mutex> inProcess_;
};

}  // namespace

DevInfoTable g_devInfo;

std::string DevOpenResultText(const PcscPort& pcsc, int32_t result) {
  switch (result) {
    case kDevNoFreeEntry: return "-1 no free entry in the table of open terminals";
    case kDevNoContext: return "-2 no resource manager context";
    case kDevNameTooLong: return "-4 reader name too long";
    default: break;
  }
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(result));
  std::string text = code;
  if (const std::string words = pcsc.ErrorText(result); !words.empty()) text += " (" + words + ")";
  return text;
}

int32_t DevInfoTable::Open(Platform& platform, const std::u16string& readerName, int& index) {
  // Cutting the name would open one reader and record another.
  if (readerName.size() >= kDevNameCapacity) return kDevNameTooLong;

  TableLock lock(*platform.mutexes, lock_);
  auto free = std::find_if(std::begin(entries_), std::end(entries_),
                           [](const DEV_INFO& e) { return e.inUse == 0; });
  if (free == std::end(entries_)) return kDevNoFreeEntry;

  if (ContextAbsent(context_) && referenceCount_ == 0) {
    ScardContext context = 0;
    if (platform.pcsc->EstablishContext(SCARD_SCOPE_USER, context) != SCARD_S_SUCCESS) {
      context_ = 0;
      return kDevNoContext;
    }
    context_ = context;
  }

  ScardHandle card = 0;
  uint32_t protocol = 0;
  const int32_t rc = platform.pcsc->Connect(context_, readerName, SCARD_SHARE_SHARED,
                                            SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, card, protocol);
  if (rc != SCARD_S_SUCCESS) {
    // The entry stays free and the context stays established for later
    // calls, unless it belongs to a resource manager that has gone away
    // since: then no later open could ever connect through it. Without open
    // entries on it, it is let go so that the next open establishes afresh.
    if (IsServiceLost(rc) && referenceCount_ == 0) {
      platform.pcsc->ReleaseContext(context_);
      context_ = kReleasedContext;
    }
    return rc;
  }

  free->cardHandle = card;
  free->activeProtocol = protocol;
  std::fill(std::begin(free->readerName), std::end(free->readerName), u'\0');
  std::copy(readerName.begin(), readerName.end(), free->readerName);
  free->inUse = 1;
  ++referenceCount_;
  index = static_cast<int>(free - std::begin(entries_));
  return kDevOpened;
}

int32_t DevInfoTable::Transmit(Platform& platform, int index, const uint8_t* command, int length,
                               uint8_t (&answer)[kDevAnswerCapacity], int& answerLength) {
  if (context_ == kReleasedContext) return kDevContextReleased;
  if (!ValidIndex(index) || entries_[index].cardHandle == kClosedCardHandle) return kDevEntryClosed;
  const DEV_INFO& entry = entries_[index];
  if (entry.activeProtocol != SCARD_PROTOCOL_T0 && entry.activeProtocol != SCARD_PROTOCOL_T1)
    return kDevUnknownProtocol;

  uint8_t received[kDevAnswerCapacity];
  uint32_t receivedLength = kDevAnswerCapacity;
  const int32_t rc = platform.pcsc->Transmit(entry.cardHandle, entry.activeProtocol, command,
                                             static_cast<uint32_t>(std::max(length, 0)), received,
                                             receivedLength);
  if (rc != SCARD_S_SUCCESS) return rc;
  receivedLength = std::min(receivedLength, kDevAnswerCapacity);
  std::copy(received, received + receivedLength, answer);
  answerLength = static_cast<int>(receivedLength);
  return kDevSent;
}

int32_t DevInfoTable::Close(Platform& platform, int index) {
  TableLock lock(*platform.mutexes, lock_);
  if (ValidIndex(index) && entries_[index].cardHandle != kClosedCardHandle) {
    DEV_INFO& entry = entries_[index];
    platform.pcsc->Disconnect(entry.cardHandle, SCARD_LEAVE_CARD);
    std::fill(std::begin(entry.readerName), std::end(entry.readerName), u'\0');
    entry.cardHandle = kClosedCardHandle;
    entry.activeProtocol = 0;
    entry.inUse = 0;
  }
  if (context_ != kReleasedContext && --referenceCount_ == 0) {
    platform.pcsc->ReleaseContext(context_);
    context_ = kReleasedContext;
  }
  return 0;
}

int32_t DevOpen(Platform& platform, const std::u16string& readerName, int& index) {
  return g_devInfo.Open(platform, readerName, index);
}

int32_t DevTransmit(Platform& platform, int index, const uint8_t* command, int length,
                    uint8_t (&answer)[kDevAnswerCapacity], int& answerLength) {
  return g_devInfo.Transmit(platform, index, command, length, answer, answerLength);
}

int32_t DevClose(Platform& platform, int index) { return g_devInfo.Close(platform, index); }

}  // namespace qarx
