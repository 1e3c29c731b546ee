// Adapters not written yet: each answers "not available" so the service still
// runs. Each is removed from here when its real adapter lands.
#include "platform/linux/linux_ports.h"

namespace qarx::linux_port {

namespace {

class NoPcsc final : public PcscPort {
 public:
  int32_t EstablishContext(uint32_t, ScardContext&) override { return SCARD_E_NO_SERVICE; }
  int32_t ReleaseContext(ScardContext) override { return SCARD_E_NO_SERVICE; }
  int32_t ListReaders(ScardContext, std::u16string&, uint32_t&) override { return SCARD_E_NO_SERVICE; }
  int32_t GetStatusChange(ScardContext, uint32_t, ReaderState*, uint32_t) override { return SCARD_E_NO_SERVICE; }
  int32_t Connect(ScardContext, const std::u16string&, uint32_t, uint32_t, ScardHandle&, uint32_t&) override {
    return SCARD_E_NO_SERVICE;
  }
  int32_t Transmit(ScardHandle, uint32_t, const uint8_t*, uint32_t, uint8_t*, uint32_t&) override {
    return SCARD_E_NO_SERVICE;
  }
  int32_t Disconnect(ScardHandle, uint32_t) override { return SCARD_E_NO_SERVICE; }
};

}  // namespace

std::unique_ptr<PcscPort> MakePcscPort() { return std::make_unique<NoPcsc>(); }

}  // namespace qarx::linux_port
