// A UiPort that passes every call on to another one: the base of the
// decorators, which override only what they add to. TrackedMessageBox is
// not passed on: its default goes through the decorator's own MessageBox.
#pragma once

#include "platform/ui.h"

namespace qarx::events {

class ForwardingUi : public UiPort {
 public:
  explicit ForwardingUi(UiPort& inner) : inner_(inner) {}

  bool PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    return inner_.PostMessage(message, wParam, lParam);
  }
  int MessageBox(BoxOwner owner, const std::u16string& text, const std::u16string& caption,
                 uint32_t style) override {
    return inner_.MessageBox(owner, text, caption, style);
  }
  void ShowWindow(int showCode) override { inner_.ShowWindow(showCode); }
  bool IsWindowVisible() override { return inner_.IsWindowVisible(); }
  bool TrayAdd(const TrayIconData& data) override { return inner_.TrayAdd(data); }
  bool TrayDelete(const TrayIconData& data) override { return inner_.TrayDelete(data); }
  void ListAddString(const std::u16string& line) override { inner_.ListAddString(line); }
  void ListResetContent() override { inner_.ListResetContent(); }
  void SetStatusText(const std::u16string& text) override { inner_.SetStatusText(text); }
  void SetProgressRange(int low, int high) override { inner_.SetProgressRange(low, high); }
  void SetProgressStep(int step) override { inner_.SetProgressStep(step); }
  void SetProgressPos(int pos) override { inner_.SetProgressPos(pos); }
  void EndModal(int result) override { inner_.EndModal(result); }
  int RunModal(MessageTarget& target) override { return inner_.RunModal(target); }
  void SetIcon(uint32_t iconId, bool big) override { inner_.SetIcon(iconId, big); }
  bool SetTimer(uint32_t id, uint32_t elapseMs) override { return inner_.SetTimer(id, elapseMs); }
  bool KillTimer(uint32_t id) override { return inner_.KillTimer(id); }
  bool IsIconic() override { return inner_.IsIconic(); }
  void GetClientSize(int& width, int& height) override { inner_.GetClientSize(width, height); }
  void DrawIcon(int x, int y) override { inner_.DrawIcon(x, y); }
  void SetForegroundWindow() override { inner_.SetForegroundWindow(); }
  void TrackPopupMenu(const std::vector<MenuItem>& items) override { inner_.TrackPopupMenu(items); }
  int GetSystemMetrics(int index) override { return inner_.GetSystemMetrics(index); }

 protected:
  UiPort& inner_;
};

}  // namespace qarx::events
