// PcscPort over pcsc-lite. pcsc-lite's DWORD/LONG are 64 bits wide and its
// reader names are UTF-8; the port speaks 32-bit codes and UTF-16 names.
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/linux/linux_ports.h"

// Last: the library defines the standard's names as macros, which would
// clash with the port's constants of the same names.
#include <winscard.h>

namespace qarx::linux_port {

namespace {

// The library's codes are the standard's 32-bit values held in a LONG.
int32_t Code(LONG rv) { return static_cast<int32_t>(static_cast<uint32_t>(rv)); }

class PcscLite final : public PcscPort {
 public:
  std::string ErrorText(int32_t code) const override {
    return pcsc_stringify_error(static_cast<LONG>(static_cast<uint32_t>(code)));
  }

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
    char* names = nullptr;
    DWORD size = SCARD_AUTOALLOCATE;
    const LONG rv = SCardListReaders(ctx, nullptr, reinterpret_cast<char*>(&names), &size);
    if (rv != SCARD_S_SUCCESS) return Code(rv);
    std::u16string wide;
    for (DWORD at = 0; at < size && names[at] != '\0';) {
      const std::string name(names + at);
      wide += FromUtf8(name);
      wide.push_back(u'\0');
      at += static_cast<DWORD>(name.size()) + 1;
    }
    wide.push_back(u'\0');
    SCardFreeMemory(ctx, names);
    const uint32_t capacity = length;
    length = static_cast<uint32_t>(wide.size());
    if (wide.size() > capacity) return Code(SCARD_E_INSUFFICIENT_BUFFER);
    multiString = std::move(wide);
    return SCARD_S_SUCCESS;
  }

  int32_t GetStatusChange(ScardContext context, uint32_t timeoutMs, ReaderState* states,
                          uint32_t count) override {
    std::vector<std::string> names(count);
    std::vector<SCARD_READERSTATE> records(count);
    for (uint32_t i = 0; i < count; ++i) {
      names[i] = ToUtf8(states[i].reader);
      records[i] = {};
      records[i].szReader = names[i].c_str();
      records[i].dwCurrentState = states[i].currentState;
      records[i].dwEventState = states[i].eventState;
    }
    const DWORD timeout = timeoutMs == qarx::INFINITE_TIMEOUT ? INFINITE : timeoutMs;
    const LONG rv = SCardGetStatusChange(static_cast<SCARDCONTEXT>(context), timeout, records.data(), count);
    for (uint32_t i = 0; i < count; ++i) states[i].eventState = static_cast<uint32_t>(records[i].dwEventState);
    return Code(rv);
  }

  int32_t Connect(ScardContext context, const std::u16string& reader, uint32_t shareMode,
                  uint32_t preferredProtocols, ScardHandle& card, uint32_t& activeProtocol) override {
    SCARDHANDLE handle = 0;
    DWORD protocol = 0;
    const LONG rv = SCardConnect(static_cast<SCARDCONTEXT>(context), ToUtf8(reader).c_str(), shareMode,
                                 preferredProtocols, &handle, &protocol);
    if (rv == SCARD_S_SUCCESS) {
      card = static_cast<ScardHandle>(handle);
      activeProtocol = static_cast<uint32_t>(protocol);
    }
    return Code(rv);
  }

  int32_t Transmit(ScardHandle card, uint32_t protocol, const uint8_t* command, uint32_t length,
                   uint8_t* answer, uint32_t& answerLength) override {
    const SCARD_IO_REQUEST* pci = nullptr;
    if (protocol == SCARD_PROTOCOL_T0) pci = SCARD_PCI_T0;
    if (protocol == SCARD_PROTOCOL_T1) pci = SCARD_PCI_T1;
    if (pci == nullptr) return Code(SCARD_E_PROTO_MISMATCH);
    DWORD received = answerLength;
    const LONG rv = SCardTransmit(static_cast<SCARDHANDLE>(card), pci, command, length, nullptr, answer, &received);
    answerLength = static_cast<uint32_t>(received);
    return Code(rv);
  }

  int32_t Disconnect(ScardHandle card, uint32_t disposition) override {
    return Code(SCardDisconnect(static_cast<SCARDHANDLE>(card), disposition));
  }

  int32_t Cancel(ScardContext context) override { return Code(SCardCancel(static_cast<SCARDCONTEXT>(context))); }
};

}  // namespace

std::unique_ptr<PcscPort> MakePcscPort() { return std::make_unique<PcscLite>(); }

}  // namespace qarx::linux_port
