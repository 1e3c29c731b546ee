// The PC/SC calls the card side uses, with the standard's codes. Handles and
// sizes are fixed-width here; the adapter translates to the library's types.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qarx {

using ScardContext = uint64_t;
using ScardHandle = uint64_t;

inline constexpr int32_t SCARD_S_SUCCESS = 0;
inline constexpr int32_t SCARD_E_CANCELLED = static_cast<int32_t>(0x80100002);
inline constexpr int32_t SCARD_E_INVALID_HANDLE = static_cast<int32_t>(0x80100003);
inline constexpr int32_t SCARD_E_INVALID_VALUE = static_cast<int32_t>(0x80100011);
inline constexpr int32_t SCARD_E_PROTO_MISMATCH = static_cast<int32_t>(0x8010000F);
inline constexpr int32_t SCARD_E_TIMEOUT = static_cast<int32_t>(0x8010000A);
inline constexpr int32_t SCARD_E_UNKNOWN_READER = static_cast<int32_t>(0x80100009);
inline constexpr int32_t SCARD_E_NO_SMARTCARD = static_cast<int32_t>(0x8010000C);
inline constexpr int32_t SCARD_F_COMM_ERROR = static_cast<int32_t>(0x80100013);
inline constexpr int32_t SCARD_E_NO_SERVICE = static_cast<int32_t>(0x8010001D);
inline constexpr int32_t SCARD_E_SERVICE_STOPPED = static_cast<int32_t>(0x8010001E);
inline constexpr int32_t SCARD_E_NO_READERS_AVAILABLE = static_cast<int32_t>(0x8010002E);
inline constexpr int32_t SCARD_E_INSUFFICIENT_BUFFER = static_cast<int32_t>(0x80100008);

inline constexpr uint32_t SCARD_SCOPE_USER = 0;
inline constexpr uint32_t SCARD_SCOPE_SYSTEM = 2;
inline constexpr uint32_t SCARD_SHARE_SHARED = 2;
inline constexpr uint32_t SCARD_PROTOCOL_T0 = 1;
inline constexpr uint32_t SCARD_PROTOCOL_T1 = 2;
inline constexpr uint32_t SCARD_LEAVE_CARD = 0;
inline constexpr uint32_t SCARD_STATE_UNAWARE = 0x0;
inline constexpr uint32_t SCARD_STATE_CHANGED = 0x2;
inline constexpr uint32_t SCARD_STATE_UNKNOWN = 0x4;
inline constexpr uint32_t SCARD_STATE_UNAVAILABLE = 0x8;
inline constexpr uint32_t SCARD_STATE_EMPTY = 0x10;
inline constexpr uint32_t SCARD_STATE_PRESENT = 0x20;
inline constexpr uint32_t INFINITE_TIMEOUT = 0xFFFFFFFFu;

struct ReaderState {
  std::u16string reader;
  uint32_t currentState = SCARD_STATE_UNAWARE;
  uint32_t eventState = 0;
};

class PcscPort {
 public:
  virtual ~PcscPort() = default;
  virtual int32_t EstablishContext(uint32_t scope, ScardContext& context) = 0;
  virtual int32_t ReleaseContext(ScardContext context) = 0;
  // The multi-string of reader names in UTF-16: each name zero-terminated,
  // then one more zero. length: capacity in code units on entry, used on return.
  virtual int32_t ListReaders(ScardContext context, std::u16string& multiString, uint32_t& length) = 0;
  // Fills each record's eventState (all 32 bits: the high half is the
  // reader's event counter). INFINITE_TIMEOUT waits without limit.
  virtual int32_t GetStatusChange(ScardContext context, uint32_t timeoutMs, ReaderState* states,
                                  uint32_t count) = 0;
  // card and activeProtocol are written on success only.
  virtual int32_t Connect(ScardContext context, const std::u16string& reader, uint32_t shareMode,
                          uint32_t preferredProtocols, ScardHandle& card, uint32_t& activeProtocol) = 0;
  // protocol selects the send PCI (T=0 or T=1; anything else is
  // SCARD_E_PROTO_MISMATCH). answerLength: capacity on entry, answer length
  // on return.
  virtual int32_t Transmit(ScardHandle card, uint32_t protocol, const uint8_t* command, uint32_t length,
                           uint8_t* answer, uint32_t& answerLength) = 0;
  virtual int32_t Disconnect(ScardHandle card, uint32_t disposition) = 0;
  // Ends the status waits outstanding on context with SCARD_E_CANCELLED
  // (from any thread; a later wait is not affected).
  virtual int32_t Cancel(ScardContext context) = 0;
  // True when the plug-and-play pseudo-reader's event state carries the
  // reader count in its high word and a wait returns at once while the
  // caller's count is out of date (winscard): a change between two waits
  // is then never missed.
  virtual bool PnpCountsReaders() const { return false; }
  // Returns once the resource manager has started, where the platform can
  // tell (Windows: the event of SCardAccessStartedEvent); at once elsewhere.
  // Since Windows 8 the smart-card service starts only with the first reader.
  virtual void WaitForServiceStart() {}
  // The library's short words for a result code (for the activity log
  // file), or empty when it has none.
  virtual std::string ErrorText(int32_t /*code*/) const { return {}; }
};

}  // namespace qarx
