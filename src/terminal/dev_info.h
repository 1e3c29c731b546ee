// The process-wide table of open terminal connections and the one PC/SC
// context they share: open a terminal by reader name, send command APDUs on
// the returned index, close it again.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace qarx {

inline constexpr int kDevInfoCount = 10;
inline constexpr size_t kDevNameCapacity = 256;  // 255 UTF-16 code units and the terminator
inline constexpr uint32_t kDevAnswerCapacity = 256;
inline constexpr std::u16string_view kDevInfoMutexName = u"the Mutex of DEV_INFO struct!";

// "-1" of the handle fields: a closed entry, a released context.
inline constexpr ScardHandle kClosedCardHandle = ~ScardHandle{0};
inline constexpr ScardContext kReleasedContext = ~ScardContext{0};

// DevOpen results besides the resource manager's own codes.
enum DevOpenResult : int32_t {
  kDevOpened = 0,
  kDevNoFreeEntry = -1,
  kDevNoContext = -2,
  // A reader name longer than the entry's name field holds; nothing is opened.
  kDevNameTooLong = -4,
};

// DevTransmit results besides the resource manager's own codes.
enum DevTransmitResult : int32_t {
  kDevSent = 0,
  kDevContextReleased = -1,
  kDevEntryClosed = -2,
  kDevUnknownProtocol = -3,
};

// A DevOpen result in the activity log file's words: "-2 no resource manager
// context", "0x8010000C (No smart card inserted.)".
std::string DevOpenResultText(const PcscPort& pcsc, int32_t result);

struct DEV_INFO {
  char16_t readerName[kDevNameCapacity] = {};  // all zero while free
  ScardHandle cardHandle = 0;                  // kClosedCardHandle after close, 0 if never opened
  uint32_t activeProtocol = 0;                 // SCARD_PROTOCOL_T0 or _T1; 0 after close
  int32_t inUse = 0;
};

class DevInfoTable {
 public:
  // 0 and index set; kDevNoFreeEntry; kDevNoContext; kDevNameTooLong; or the
  // non-zero result of the connect, unchanged.
  int32_t Open(Platform& platform, const std::u16string& readerName, int& index);
  // answer receives at most kDevAnswerCapacity bytes (data, then SW1 SW2).
  int32_t Transmit(Platform& platform, int index, const uint8_t* command, int length,
                   uint8_t (&answer)[kDevAnswerCapacity], int& answerLength);
  // Always 0.
  int32_t Close(Platform& platform, int index);

  const DEV_INFO& entry(int index) const { return entries_[index]; }
  ScardContext context() const { return context_; }
  int32_t referenceCount() const { return referenceCount_; }

 private:
  // Open and Close hold it besides the named mutex "the Mutex of DEV_INFO
  // struct!", which the system may refuse.
  std::mutex lock_;
  DEV_INFO entries_[kDevInfoCount];
  // Read by Transmit without the table lock; written only under it.
  std::atomic<ScardContext> context_{0};
  int32_t referenceCount_ = 0;
};

// The table of the process and the operations the firmware check uses on it.
extern DevInfoTable g_devInfo;
int32_t DevOpen(Platform& platform, const std::u16string& readerName, int& index);
int32_t DevTransmit(Platform& platform, int index, const uint8_t* command, int length,
                    uint8_t (&answer)[kDevAnswerCapacity], int& answerLength);
int32_t DevClose(Platform& platform, int index);

}  // namespace qarx
