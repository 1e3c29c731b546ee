// PcscPort over winscard.dll: the standard's calls in their wide forms.
// Handles are pointer-sized and reader names UTF-16 already.
#include "platform/win32/windows_sdk.h"

#include <memory>
#include <vector>

#include "common/text.h"

#include "platform/win32/win32_ports.h"

namespace qarx::win32 {

namespace {

int32_t Code(LONG rv) { return static_cast<int32_t>(static_cast<uint32_t>(rv)); }

class WinScard final : public PcscPort {
 public:
  int32_t EstablishContext(uint32_t scope, ScardContext& context) override {
    SCARDCONTEXT handle = 0;
    const LONG rv = SCardEstablishContext(scope, nullptr, nullptr, &handle);
    if (rv == SCARD_S_SUCCESS) context = static_cast<ScardContext>(handle);
    return Code(rv);
  }

  int32_t ReleaseContext(ScardContext context) override {
    return Code(SCardReleaseContext(static_cast<SCARDCONTEXT>(context)));
  }

  int32_t ListReaders(ScardContext context, std::u16string& multiString, uint32_t& length) override {
    const auto ctx = static_cast<SCARDCONTEXT>(context);
    DWORD size = 0;
    LONG rv = SCardListReadersW(ctx, nullptr, nullptr, &size);
    if (rv != SCARD_S_SUCCESS) return Code(rv);
    std::wstring names(size, L'\0');
    rv = SCardListReadersW(ctx, nullptr, names.data(), &size);
    if (rv != SCARD_S_SUCCESS) return Code(rv);
    names.resize(size);
    const uint32_t capacity = length;
    length = static_cast<uint32_t>(names.size());
    if (names.size() > capacity) return Code(SCARD_E_INSUFFICIENT_BUFFER);
    multiString = FromWide(names.c_str(), names.size());
    return SCARD_S_SUCCESS;
  }

  int32_t GetStatusChange(ScardContext context, uint32_t timeoutMs, ReaderState* states, uint32_t count) override {
    std::vector<SCARD_READERSTATEW> records(count);
    for (uint32_t i = 0; i < count; ++i) {
      records[i] = {};
      records[i].szReader = Wide(states[i].reader);
      records[i].dwCurrentState = states[i].currentState;
      records[i].dwEventState = states[i].eventState;
    }
    const DWORD timeout = timeoutMs == qarx::INFINITE_TIMEOUT ? INFINITE : timeoutMs;
    const LONG rv = SCardGetStatusChangeW(static_cast<SCARDCONTEXT>(context), timeout, records.data(), count);
    for (uint32_t i = 0; i < count; ++i) states[i].eventState = records[i].dwEventState;
    return Code(rv);
  }

  int32_t Connect(ScardContext context, const std::u16string& reader, uint32_t shareMode, uint32_t preferredProtocols,
                  ScardHandle& card, uint32_t& activeProtocol) override {
    SCARDHANDLE handle = 0;
    DWORD protocol = 0;
    const LONG rv = SCardConnectW(static_cast<SCARDCONTEXT>(context), Wide(reader), shareMode, preferredProtocols,
                                  &handle, &protocol);
    if (rv == SCARD_S_SUCCESS) {
      card = static_cast<ScardHandle>(handle);
      activeProtocol = protocol;
    }
    return Code(rv);
  }

  int32_t Transmit(ScardHandle card, uint32_t protocol, const uint8_t* command, uint32_t length, uint8_t* answer,
                   uint32_t& answerLength) override {
    const SCARD_IO_REQUEST* pci = nullptr;
    if (protocol == qarx::SCARD_PROTOCOL_T0) pci = SCARD_PCI_T0;
    if (protocol == qarx::SCARD_PROTOCOL_T1) pci = SCARD_PCI_T1;
    if (pci == nullptr) return SCARD_E_PROTO_MISMATCH;
    DWORD received = answerLength;
    const LONG rv = SCardTransmit(static_cast<SCARDHANDLE>(card), pci, command, length, nullptr, answer, &received);
    answerLength = received;
    return Code(rv);
  }

  int32_t Disconnect(ScardHandle card, uint32_t disposition) override {
    return Code(SCardDisconnect(static_cast<SCARDHANDLE>(card), disposition));
  }

  int32_t Cancel(ScardContext context) override { return Code(SCardCancel(static_cast<SCARDCONTEXT>(context))); }

  bool PnpCountsReaders() const override { return true; }

  // The event is set while the smart-card service runs; on Windows 8 and
  // later the service starts with the first reader and stops a while after
  // the last one has gone.
  void WaitForServiceStart() override {
    HANDLE started = SCardAccessStartedEvent();
    if (!started) return;
    WaitForSingleObject(started, INFINITE);
    SCardReleaseStartedEvent();
  }

  // The system's message for the code; Windows has one for each of the
  // smart-card codes.
  std::string ErrorText(int32_t code) const override {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const std::unique_ptr<wchar_t, decltype(&LocalFree)> owned(text, &LocalFree);
    if (length == 0 || !text) return {};
    std::string words = ToUtf8(FromWide(text, length));
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == ' '))
      words.pop_back();
    return words;
  }
};

}  // namespace

std::unique_ptr<PcscPort> MakePcscPort() { return std::make_unique<WinScard>(); }

}  // namespace qarx::win32
