#include "support/fake_ui.h"

#include <algorithm>

#include "common/text.h"

namespace qarx::testing {

void FakeUi::Record(std::string line) { calls_.push_back(std::move(line)); }

bool FakeUi::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  std::lock_guard lock(mu_);
  posted_.push_back({message, wParam, lParam});
  Record("post " + std::to_string(message) + " " + std::to_string(lParam));
  return true;
}

int FakeUi::MessageBox(BoxOwner owner, const std::u16string& text, const std::u16string& caption,
                       uint32_t style) {
  BoxRecord box{owner, text, caption, style, 0};
  if (onBox) onBox(box);
  std::lock_guard lock(mu_);
  const bool yesNo = (style & 0xF) == 4;
  if (!answers_.empty()) {
    box.answer = answers_.front();
    answers_.pop_front();
  } else {
    box.answer = yesNo ? defaultAnswer : 1;
  }
  boxes_.push_back(box);
  Record("box " + ToUtf8(caption) + " | " + ToUtf8(text) + " -> " + std::to_string(box.answer));
  return box.answer;
}

void FakeUi::ShowWindow(int showCode) {
  std::lock_guard lock(mu_);
  visible_ = showCode != 0;
  Record("show " + std::to_string(showCode));
}

bool FakeUi::IsWindowVisible() {
  std::lock_guard lock(mu_);
  return visible_;
}

bool FakeUi::TrayAdd(const TrayIconData& data) {
  std::lock_guard lock(mu_);
  tray_ = true;
  Record("tray add " + std::to_string(data.uID));
  return true;
}

bool FakeUi::TrayDelete(const TrayIconData& data) {
  std::lock_guard lock(mu_);
  const bool was = tray_;
  tray_ = false;
  Record("tray delete " + std::to_string(data.uID));
  return was;
}

void FakeUi::ListAddString(const std::u16string& line) {
  std::lock_guard lock(mu_);
  log_.push_back(line);
  Record("log " + ToUtf8(line));
}

void FakeUi::ListResetContent() {
  std::lock_guard lock(mu_);
  log_.clear();
  Record("log reset");
}

void FakeUi::SetStatusText(const std::u16string& text) {
  std::lock_guard lock(mu_);
  statuses_.push_back(text);
  Record("status " + ToUtf8(text));
}

void FakeUi::SetProgressRange(int low, int high) {
  std::lock_guard lock(mu_);
  Record("range " + std::to_string(low) + " " + std::to_string(high));
}

void FakeUi::SetProgressStep(int step) {
  std::lock_guard lock(mu_);
  Record("step " + std::to_string(step));
}

void FakeUi::SetProgressPos(int pos) {
  std::lock_guard lock(mu_);
  positions_.push_back(pos);
  Record("pos " + std::to_string(pos));
}

void FakeUi::EndModal(int result) {
  std::lock_guard lock(mu_);
  ended_ = true;
  Record("end " + std::to_string(result));
}

int FakeUi::RunModal(MessageTarget& target) {
  target.WindowProc(272 /*WM_INITDIALOG*/, 0, 0);
  return 2;
}

void FakeUi::SetIcon(uint32_t iconId, bool big) {
  std::lock_guard lock(mu_);
  Record("icon " + std::to_string(iconId) + (big ? " big" : " small"));
}

bool FakeUi::SetTimer(uint32_t id, uint32_t elapseMs) {
  std::lock_guard lock(mu_);
  timers_.erase(std::remove_if(timers_.begin(), timers_.end(), [&](auto& t) { return t.first == id; }),
                timers_.end());
  timers_.emplace_back(id, elapseMs);
  Record("timer " + std::to_string(id) + " " + std::to_string(elapseMs));
  return true;
}

bool FakeUi::KillTimer(uint32_t id) {
  std::lock_guard lock(mu_);
  const auto before = timers_.size();
  timers_.erase(std::remove_if(timers_.begin(), timers_.end(), [&](auto& t) { return t.first == id; }),
                timers_.end());
  Record("kill timer " + std::to_string(id));
  return before != timers_.size();
}

bool FakeUi::IsIconic() { return iconic; }

void FakeUi::GetClientSize(int& width, int& height) {
  width = clientWidth;
  height = clientHeight;
}

void FakeUi::DrawIcon(int x, int y) {
  std::lock_guard lock(mu_);
  Record("draw icon " + std::to_string(x) + " " + std::to_string(y));
}

void FakeUi::SetForegroundWindow() {
  std::lock_guard lock(mu_);
  Record("foreground");
}

void FakeUi::TrackPopupMenu(const std::vector<MenuItem>& items) {
  std::lock_guard lock(mu_);
  lastMenu_ = items;
  Record("menu " + std::to_string(items.size()));
}

int FakeUi::GetSystemMetrics(int index) { return index == 11 || index == 12 ? 32 : 0; }

void FakeUi::QueueAnswers(std::vector<int> answers) {
  std::lock_guard lock(mu_);
  answers_.insert(answers_.end(), answers.begin(), answers.end());
}

std::vector<std::string> FakeUi::calls() const { std::lock_guard lock(mu_); return calls_; }
std::vector<std::u16string> FakeUi::log() const { std::lock_guard lock(mu_); return log_; }
std::vector<BoxRecord> FakeUi::boxes() const { std::lock_guard lock(mu_); return boxes_; }
std::vector<PostedMessage> FakeUi::posted() const { std::lock_guard lock(mu_); return posted_; }
std::vector<MenuItem> FakeUi::lastMenu() const { std::lock_guard lock(mu_); return lastMenu_; }
std::vector<std::u16string> FakeUi::statuses() const { std::lock_guard lock(mu_); return statuses_; }
std::vector<int> FakeUi::positions() const { std::lock_guard lock(mu_); return positions_; }
bool FakeUi::visible() const { std::lock_guard lock(mu_); return visible_; }
bool FakeUi::trayShown() const { std::lock_guard lock(mu_); return tray_; }
bool FakeUi::ended() const { std::lock_guard lock(mu_); return ended_; }

int FakeUi::timerPeriod(uint32_t id) const {
  std::lock_guard lock(mu_);
  for (auto& t : timers_)
    if (t.first == id) return static_cast<int>(t.second);
  return 0;
}

void FakeUi::ClearCalls() {
  std::lock_guard lock(mu_);
  calls_.clear();
}

}  // namespace qarx::testing
