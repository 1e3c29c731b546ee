#include "ui/console/console_ui.h"

#include <algorithm>
#include <cstdio>

#include "common/qarx_types.h"
#include "common/text.h"
#include "ui/console/console_commands.h"

namespace qarx::console {

namespace {

constexpr int kIconSize = 32;
// The template's 219 x 40 dialog units at its 9-point font.
constexpr int kClientWidth = 329;
constexpr int kClientHeight = 65;
// Windows raises shorter timer periods to this.
constexpr auto kMinimumTimerPeriod = std::chrono::milliseconds(10);

void WriteLine(std::FILE* stream, std::string_view line) {
  static std::mutex lock;
  std::lock_guard guard(lock);
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

}  // namespace

ConsoleStreams StandardStreams() {
  ConsoleStreams streams;
  streams.input = 0;
  streams.out = [](std::string_view line) { WriteLine(stdout, line); };
  streams.err = [](std::string_view line) { WriteLine(stderr, line); };
  return streams;
}

ConsoleUi::ConsoleUi(ConsoleStreams streams) : streams_(std::move(streams)) {}

ConsoleUi::~ConsoleUi() {
  reader_.Stop();
  std::unique_lock lock(mu_);
  for (Box* box : boxes_) {
    box->answer = DefaultAnswer(*box);
    box->answered = true;
  }
  boxes_.clear();
  inputEnded_ = true;
  done_.notify_all();
  // Askers still touch this object on their way out of MessageBox.
  done_.wait(lock, [this] { return asking_ == 0; });
}

int ConsoleUi::DefaultAnswer(const Box& box) { return box.yesNo ? IDNO : IDOK; }

// ---------------------------------------------------------------- the loop

int ConsoleUi::RunModal(MessageTarget& target) {
  {
    std::lock_guard lock(mu_);
    target_ = &target;
    uiThread_ = std::this_thread::get_id();
    running_ = true;
    ended_ = false;
  }
  reader_.Start(
      streams_.input, [this](std::string line) { OnLine(std::move(line)); }, [this] { OnInputEnd(); });

  Dispatch(WM_INITDIALOG, 0, 0);
  // The template is WS_VISIBLE: once initialised, the framework shows the
  // dialog, which paints its frame.
  bool paint = false;
  {
    std::lock_guard lock(mu_);
    paint = ApplyShowLocked(SW_SHOWNORMAL);
  }
  if (paint) Dispatch(WM_NCPAINT, 1, 0);

  std::unique_lock lock(mu_);
  while (!ended_) PumpOnce(lock);
  // The window is gone: senders return, posts and timers are dropped.
  running_ = false;
  target_ = nullptr;
  for (Sent* sent : sent_) sent->done = true;
  sent_.clear();
  posted_.clear();
  timers_.clear();
  menu_.clear();
  done_.notify_all();
  return result_;
}

void ConsoleUi::PumpOnce(std::unique_lock<std::mutex>& lock) {
  // Sent messages first, then posted ones, then timers, as Windows orders them.
  if (!sent_.empty()) {
    Sent* sent = sent_.front();
    sent_.pop_front();
    lock.unlock();
    sent->run();
    lock.lock();
    sent->done = true;
    done_.notify_all();
    return;
  }
  if (!posted_.empty()) {
    const Posted message = posted_.front();
    posted_.pop_front();
    lock.unlock();
    Dispatch(message.message, message.wParam, message.lParam);
    lock.lock();
    return;
  }
  auto next = std::min_element(timers_.begin(), timers_.end(),
                               [](const Timer& a, const Timer& b) { return a.due < b.due; });
  if (next == timers_.end()) {
    wake_.wait(lock);
    return;
  }
  const auto now = Clock::now();
  if (next->due > now) {
    wake_.wait_until(lock, next->due);
    return;
  }
  next->due = now + next->period;
  const uint32_t id = next->id;
  lock.unlock();
  Dispatch(WM_TIMER, id, 0);
  lock.lock();
}

intptr_t ConsoleUi::Dispatch(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return target_ ? target_->WindowProc(message, wParam, lParam) : 0;
}

void ConsoleUi::Send(const std::function<void()>& fn) {
  std::unique_lock lock(mu_);
  if (OnUiThreadLocked()) {
    lock.unlock();
    fn();
    return;
  }
  if (!running_) return;
  Sent sent{fn};
  sent_.push_back(&sent);
  wake_.notify_all();
  done_.wait(lock, [&] { return sent.done; });
}

bool ConsoleUi::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  std::lock_guard lock(mu_);
  if (ended_ && !running_) return false;
  posted_.push_back({message, wParam, lParam});
  wake_.notify_all();
  return true;
}

void ConsoleUi::EndModal(int result) {
  std::lock_guard lock(mu_);
  ended_ = true;
  result_ = result;
  wake_.notify_all();
}

// ---------------------------------------------------------------- input

void ConsoleUi::OnLine(std::string line) {
  std::lock_guard lock(mu_);
  if (!boxes_.empty()) {
    Box* box = boxes_.front();
    boxes_.pop_front();
    box->answer = box->yesNo ? (IsYes(line) ? IDYES : IDNO) : IDOK;
    box->answered = true;
    done_.notify_all();
    wake_.notify_all();
    return;
  }
  if (!running_) return;
  if (!menu_.empty()) {
    // Any line closes the menu; one naming an entry chooses it.
    const auto choice = ChooseMenuEntry(menu_, line);
    menu_.clear();
    if (choice) {
      posted_.push_back({WM_COMMAND, *choice, 0});
      wake_.notify_all();
      return;
    }
  }
  if (line.find_first_not_of(" \t") == std::string::npos) return;
  const auto command = ParseCommand(line);
  if (!command) {
    streams_.err("qarx-service: unknown command '" + line + "'; commands are: " + CommandList());
    return;
  }
  if (command->logPath) {
    streams_.out(activityLogPath_.empty() ? "qarx-service: no activity log file" : activityLogPath_);
    return;
  }
  if (command->needsTray && !tray_) {
    streams_.err("qarx-service: no tray icon is shown (it exists only while a download runs)");
    return;
  }
  posted_.push_back({command->message, command->wParam, command->lParam});
  wake_.notify_all();
}

void ConsoleUi::OnInputEnd() {
  std::lock_guard lock(mu_);
  inputEnded_ = true;
  for (Box* box : boxes_) {
    box->answer = DefaultAnswer(*box);
    box->answered = true;
  }
  boxes_.clear();
  done_.notify_all();
  wake_.notify_all();
}

// ---------------------------------------------------------------- boxes and menus

int ConsoleUi::MessageBox(BoxOwner owner, const std::u16string& text, const std::u16string& caption,
                          uint32_t style) {
  return TrackedMessageBox(owner, text, caption, style, {});
}

int ConsoleUi::TrackedMessageBox(BoxOwner, const std::u16string& text, const std::u16string& caption,
                                 uint32_t style, const std::function<void()>& opened) {
  Box box;
  box.yesNo = (style & 0xF) == MB_YESNO;
  std::unique_lock lock(mu_);
  const std::string shown = DescribeBox(caption, text, style);
  if (inputEnded_) {
    // Nobody can answer: No / OK at once.
    streams_.out(shown + (box.yesNo ? " -> n" : " -> ok"));
    lock.unlock();
    if (opened) opened();
    return DefaultAnswer(box);
  }
  // Registered before it is shown or told, so an answer typed at once finds it.
  boxes_.push_back(&box);
  ++asking_;
  streams_.out(shown);
  if (opened) {
    // Unlocked: a line may answer the box meanwhile.
    lock.unlock();
    opened();
    lock.lock();
  }
  // The user-interface thread keeps its loop running while it asks.
  const bool pump = OnUiThreadLocked();
  while (!box.answered) {
    if (pump) {
      PumpOnce(lock);
    } else {
      done_.wait(lock);
    }
  }
  --asking_;
  done_.notify_all();
  return box.answer;
}

void ConsoleUi::TrackPopupMenu(const std::vector<MenuItem>& items) {
  std::lock_guard lock(mu_);
  menu_ = items;
  streams_.out(DescribeMenu(items));
}

// ---------------------------------------------------------------- the window

bool ConsoleUi::ApplyShowLocked(int showCode) {
  const bool wasVisible = visible_;
  const bool wasIconic = iconic_;
  switch (showCode) {
    case SW_HIDE:
      visible_ = false;
      break;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
      visible_ = true;
      iconic_ = true;
      break;
    case SW_SHOWNORMAL:
    case SW_SHOWMAXIMIZED:
    case SW_RESTORE:
      visible_ = true;
      iconic_ = false;
      break;
    default:  // SW_SHOW and the rest keep the minimised state
      visible_ = true;
      break;
  }
  return visible_ && (!wasVisible || wasIconic != iconic_);
}

void ConsoleUi::ShowWindow(int showCode) {
  bool paint = false;
  {
    std::lock_guard lock(mu_);
    paint = ApplyShowLocked(showCode) && running_;
  }
  if (paint) Send([this] { Dispatch(WM_NCPAINT, 1, 0); });
}

bool ConsoleUi::IsWindowVisible() {
  std::lock_guard lock(mu_);
  return visible_;
}

bool ConsoleUi::IsIconic() {
  std::lock_guard lock(mu_);
  return iconic_;
}

bool ConsoleUi::TrayAdd(const TrayIconData&) {
  std::lock_guard lock(mu_);
  const bool added = !tray_;
  tray_ = true;
  return added;
}

bool ConsoleUi::TrayDelete(const TrayIconData&) {
  std::lock_guard lock(mu_);
  const bool deleted = tray_;
  tray_ = false;
  return deleted;
}

void ConsoleUi::ListAddString(const std::u16string& line) {
  Send([&] {
    std::lock_guard lock(mu_);
    log_.push_back(line);
    streams_.out(ToUtf8(line));
  });
}

void ConsoleUi::ListResetContent() {
  Send([&] {
    std::lock_guard lock(mu_);
    log_.clear();
  });
}

void ConsoleUi::SetStatusText(const std::u16string& text) {
  Send([&] {
    std::lock_guard lock(mu_);
    status_ = text;
  });
}

void ConsoleUi::SetProgressRange(int low, int high) {
  Send([&] {
    std::lock_guard lock(mu_);
    progressLow_ = low;
    progressHigh_ = high;
  });
}

void ConsoleUi::SetProgressStep(int step) {
  Send([&] {
    std::lock_guard lock(mu_);
    progressStep_ = step;
  });
}

void ConsoleUi::SetProgressPos(int pos) {
  Send([&] {
    std::lock_guard lock(mu_);
    // A progress bar keeps its position inside its range.
    progressPos_ = std::clamp(pos, progressLow_, std::max(progressLow_, progressHigh_));
  });
}

bool ConsoleUi::SetTimer(uint32_t id, uint32_t elapseMs) {
  std::lock_guard lock(mu_);
  timers_.erase(std::remove_if(timers_.begin(), timers_.end(), [&](const Timer& t) { return t.id == id; }),
                timers_.end());
  const Clock::duration period = std::max<Clock::duration>(std::chrono::milliseconds(elapseMs), kMinimumTimerPeriod);
  timers_.push_back({id, period, Clock::now() + period});
  wake_.notify_all();
  return true;
}

bool ConsoleUi::KillTimer(uint32_t id) {
  std::lock_guard lock(mu_);
  const auto before = timers_.size();
  timers_.erase(std::remove_if(timers_.begin(), timers_.end(), [&](const Timer& t) { return t.id == id; }),
                timers_.end());
  return timers_.size() != before;
}

void ConsoleUi::SetIcon(uint32_t, bool) {}
void ConsoleUi::GetClientSize(int& width, int& height) {
  width = kClientWidth;
  height = kClientHeight;
}
void ConsoleUi::DrawIcon(int, int) {}
void ConsoleUi::SetForegroundWindow() {}
int ConsoleUi::GetSystemMetrics(int index) {
  return index == SM_CXICON || index == SM_CYICON ? kIconSize : 0;
}

void ConsoleUi::SetActivityLogPath(std::string path) {
  std::lock_guard lock(mu_);
  activityLogPath_ = std::move(path);
}

std::vector<std::u16string> ConsoleUi::logLines() const {
  std::lock_guard lock(mu_);
  return log_;
}
std::u16string ConsoleUi::statusText() const {
  std::lock_guard lock(mu_);
  return status_;
}
int ConsoleUi::progressPos() const {
  std::lock_guard lock(mu_);
  return progressPos_;
}
bool ConsoleUi::trayShown() const {
  std::lock_guard lock(mu_);
  return tray_;
}

}  // namespace qarx::console
