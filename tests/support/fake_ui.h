// A recording UiPort: every call becomes a line in calls(); message boxes are
// answered from a script; posted messages wait in a queue the test drains.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace qarx::testing {

struct PostedMessage {
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
};

struct BoxRecord {
  BoxOwner owner;
  std::u16string text;
  std::u16string caption;
  uint32_t style;
  int answer;
};

class FakeUi : public UiPort {
 public:
  bool PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  int MessageBox(BoxOwner owner, const std::u16string& text, const std::u16string& caption,
                 uint32_t style) override;
  void ShowWindow(int showCode) override;
  bool IsWindowVisible() override;
  bool TrayAdd(const TrayIconData& data) override;
  bool TrayDelete(const TrayIconData& data) override;
  void ListAddString(const std::u16string& line) override;
  void ListResetContent() override;
  void SetStatusText(const std::u16string& text) override;
  void SetProgressRange(int low, int high) override;
  void SetProgressStep(int step) override;
  void SetProgressPos(int pos) override;
  void EndModal(int result) override;
  int RunModal(MessageTarget& target) override;
  void SetIcon(uint32_t iconId, bool big) override;
  bool SetTimer(uint32_t id, uint32_t elapseMs) override;
  bool KillTimer(uint32_t id) override;
  bool IsIconic() override;
  void GetClientSize(int& width, int& height) override;
  void DrawIcon(int x, int y) override;
  void SetForegroundWindow() override;
  void TrackPopupMenu(const std::vector<MenuItem>& items) override;
  int GetSystemMetrics(int index) override;

  // ---- test side ----
  // Answers for the next message boxes, oldest first; when empty, Yes/No
  // boxes answer defaultAnswer and OK boxes IDOK.
  void QueueAnswers(std::vector<int> answers);
  int defaultAnswer = 7;  // IDNO
  // Called (outside the lock) when a box opens, before it is answered.
  std::function<void(const BoxRecord&)> onBox;

  std::vector<std::string> calls() const;  // e.g. "show 5", "tray add", "status ...", "pos 3"
  std::vector<std::u16string> log() const;
  std::vector<BoxRecord> boxes() const;
  std::vector<PostedMessage> posted() const;
  std::vector<MenuItem> lastMenu() const;
  std::vector<std::u16string> statuses() const;
  std::vector<int> positions() const;
  bool visible() const;
  bool trayShown() const;
  bool ended() const;
  int timerPeriod(uint32_t id) const;  // 0 when not running
  void ClearCalls();

  bool iconic = false;
  int clientWidth = 330;
  int clientHeight = 60;

 private:
  void Record(std::string line);
  mutable std::mutex mu_;
  std::vector<std::string> calls_;
  std::vector<std::u16string> log_;
  std::vector<BoxRecord> boxes_;
  std::vector<PostedMessage> posted_;
  std::vector<MenuItem> lastMenu_;
  std::vector<std::u16string> statuses_;
  std::vector<int> positions_;
  std::deque<int> answers_;
  std::vector<std::pair<uint32_t, uint32_t>> timers_;
  bool visible_ = false;
  bool tray_ = false;
  bool ended_ = false;
};

}  // namespace qarx::testing
