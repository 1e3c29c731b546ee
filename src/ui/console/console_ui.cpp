#include "ui/console/console_ui.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "common/qarx_types.h"
#include "common/text.h"
#include "ui/console/console_commands.h"
#include "ui/emulated/dialog_template.h"

namespace qarx::console {

namespace {

constexpr int kIconSize = 32;
// The dialog base units of the template's 9-point font on Windows.
constexpr emulated::BaseUnits kBaseUnits{6, 13};

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
  AnswerOpenBoxesLocked();
  inputEnded_ = true;
  // Askers still touch this object on their way out of MessageBox.
  done_.wait(lock, [this] { return asking_ == 0; });
}

void ConsoleUi::AnswerOpenBoxesLocked() {
  for (Box* box : boxes_) {
    box->answer = emulated::UnansweredBoxAnswer(box->style);
    box->answered = true;
  }
  boxes_.clear();
  done_.notify_all();
  queue_.Wake();
}

// ---------------------------------------------------------------- the loop

int ConsoleUi::RunModal(MessageTarget& target) {
  queue_.Open();
  {
    std::lock_guard lock(mu_);
    target_ = &target;
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
  running_ = false;
  target_ = nullptr;
  timers_.clear();
  menu_.clear();
  lock.unlock();
  // The window is gone: senders return, posts are dropped.
  queue_.Close();
  return result_;
}

void ConsoleUi::PumpOnce(std::unique_lock<std::mutex>& lock) {
  lock.unlock();
  const bool ran = queue_.RunNext();
  lock.lock();
  if (ran) return;
  // Then timers, as Windows orders them.
  auto next = std::min_element(timers_.begin(), timers_.end(),
                               [](const Timer& a, const Timer& b) { return a.due < b.due; });
  std::optional<Clock::time_point> deadline;
  if (next != timers_.end()) {
    const auto now = Clock::now();
    if (next->due <= now) {
      next->due = now + next->period;
      const uint32_t id = next->id;
      lock.unlock();
      Dispatch(WM_TIMER, id, 0);
      lock.lock();
      return;
    }
    deadline = next->due;
  }
  lock.unlock();
  queue_.WaitForWork(deadline);
  lock.lock();
}

intptr_t ConsoleUi::Dispatch(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return target_ ? target_->WindowProc(message, wParam, lParam) : 0;
}

void ConsoleUi::Send(const std::function<void()>& fn) {
  {
    std::lock_guard lock(mu_);
    if (!running_) return;
  }
  queue_.Run(fn);
}

void ConsoleUi::PostLocked(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  queue_.Post([this, message, wParam, lParam] { Dispatch(message, wParam, lParam); });
}

bool ConsoleUi::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  std::lock_guard lock(mu_);
  if (ended_ && !running_) return false;
  return queue_.Post([this, message, wParam, lParam] { Dispatch(message, wParam, lParam); });
}

void ConsoleUi::EndModal(int result) {
  std::lock_guard lock(mu_);
  ended_ = true;
  result_ = result;
  queue_.Wake();
}

// ---------------------------------------------------------------- input

void ConsoleUi::OnLine(std::string line) {
  std::lock_guard lock(mu_);
  if (!boxes_.empty()) {
    Box* box = boxes_.front();
    boxes_.pop_front();
    box->answer = (box->style & 0xF) == MB_YESNO ? (IsYes(line) ? IDYES : IDNO) : IDOK;
    box->answered = true;
    done_.notify_all();
    queue_.Wake();
    return;
  }
  if (!running_) return;
  if (!menu_.empty()) {
    // Any line closes the menu; one naming an entry chooses it.
    const auto choice = ChooseMenuEntry(menu_, line);
    menu_.clear();
    if (choice) {
      PostLocked(WM_COMMAND, *choice, 0);
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
  PostLocked(command->message, command->wParam, command->lParam);
}

void ConsoleUi::OnInputEnd() {
  std::lock_guard lock(mu_);
  inputEnded_ = true;
  AnswerOpenBoxesLocked();
}

// ---------------------------------------------------------------- boxes and menus

int ConsoleUi::MessageBox(BoxOwner owner, const std::u16string& text, const std::u16string& caption,
                          uint32_t style) {
  return TrackedMessageBox(owner, text, caption, style, {});
}

int ConsoleUi::TrackedMessageBox(BoxOwner, const std::u16string& text, const std::u16string& caption,
                                 uint32_t style, const std::function<void()>& opened) {
  Box box;
  box.style = style;
  std::unique_lock lock(mu_);
  const std::string shown = DescribeBox(caption, text, style);
  if (inputEnded_) {
    // Nobody can answer: No / OK at once.
    streams_.out(shown + ((style & 0xF) == MB_YESNO ? " -> n" : " -> ok"));
    lock.unlock();
    if (opened) opened();
    return emulated::UnansweredBoxAnswer(style);
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
  const emulated::ShowState before = shown_;
  shown_ = emulated::AfterShow(before, showCode);
  return emulated::PaintsFrame(before, shown_);
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
  return shown_.visible;
}

bool ConsoleUi::IsIconic() {
  std::lock_guard lock(mu_);
  return shown_.minimized;
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
    streams_.out(ToUtf8(line));
  });
}

// Lines once printed stay, and the console shows neither the status line nor
// the bar; like every control message these still wait for the loop.
void ConsoleUi::ListResetContent() { Send([] {}); }
void ConsoleUi::SetStatusText(const std::u16string&) { Send([] {}); }
void ConsoleUi::SetProgressRange(int, int) { Send([] {}); }
void ConsoleUi::SetProgressStep(int) { Send([] {}); }
void ConsoleUi::SetProgressPos(int) { Send([] {}); }

bool ConsoleUi::SetTimer(uint32_t id, uint32_t elapseMs) {
  std::lock_guard lock(mu_);
  timers_.erase(std::remove_if(timers_.begin(), timers_.end(), [&](const Timer& t) { return t.id == id; }),
                timers_.end());
  const Clock::duration period = std::chrono::milliseconds(emulated::TimerPeriodMs(elapseMs));
  timers_.push_back({id, period, Clock::now() + period});
  queue_.Wake();
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
  width = emulated::DluToPixelsX(dialog_template::kWidth, kBaseUnits);
  height = emulated::DluToPixelsY(dialog_template::kHeight, kBaseUnits);
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

}  // namespace qarx::console
