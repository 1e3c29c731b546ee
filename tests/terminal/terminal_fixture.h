// What the monitor and watcher tests share: a fake platform with the fake
// resource manager, a dialog that receives the reader events, and a slot table.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "app/qarx_service_dlg.h"
#include "support/fake_pcsc.h"
#include "support/fake_platform.h"
#include "terminal/reader_monitor.h"
#include "terminal/reader_slot.h"

namespace qarx::testing {

struct ReaderEventRecord {
  uintptr_t code;
  const ReaderSlot* slot;
  bool operator==(const ReaderEventRecord&) const = default;
};

inline void PrintTo(const ReaderEventRecord& e, std::ostream* os) {
  *os << "{code " << e.code << ", slot " << e.slot << "}";
}

class ReaderFixture : public ::testing::Test {
 protected:
  ReaderFixture() {
    fake.platform.pcsc = &pcsc;
    PublishReaderEventWindow(&dialog);
  }
  ~ReaderFixture() override { PublishReaderEventWindow(nullptr); }

  std::vector<ReaderEventRecord> Events() const {
    std::vector<ReaderEventRecord> events;
    for (const PostedMessage& m : fake.ui.posted())
      if (m.message == WM_READER_EVENT) events.push_back({m.wParam, reinterpret_cast<const ReaderSlot*>(m.lParam)});
    return events;
  }

  FakePlatform fake;
  FakePcsc pcsc;
  CQarxServiceDlg dialog{fake.platform};
  ReaderSlot slots[kReaderSlotCount];
};

}  // namespace qarx::testing
