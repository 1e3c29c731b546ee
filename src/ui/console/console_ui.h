// The console front-end: the dialog's window, emulated on a terminal. A real
// message loop runs on the thread that calls RunModal (the user-interface
// thread): the emulated window system's queue (control messages sent by
// other threads, whose sender waits until the loop ran them, then posted
// messages), timers by deadline, and lines from standard input read on a
// thread of their own. The window itself is only state (shown, minimised,
// tray icon), but showing it delivers WM_NCPAINT as a real window system
// does, so the dialog hides itself as it would. Of the controls only the
// activity log is seen: its lines are printed.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui.h"
#include "platform/line_reader.h"
#include "ui/emulated/ui_queue.h"
#include "ui/emulated/window_rules.h"

namespace qarx::console {

struct ConsoleStreams {
  int input = 0;                                // commands and answers, one per line
  std::function<void(std::string_view)> out;    // log lines, questions, menus (one line per call)
  std::function<void(std::string_view)> err;    // error lines
};

// Standard input, output and error; every line is flushed as it is written.
ConsoleStreams StandardStreams();

class ConsoleUi final : public UiPort {
 public:
  explicit ConsoleUi(ConsoleStreams streams);
  // Stops reading input and answers the boxes still open (No/OK).
  ~ConsoleUi() override;
  ConsoleUi(const ConsoleUi&) = delete;
  ConsoleUi& operator=(const ConsoleUi&) = delete;

  bool PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  int MessageBox(BoxOwner owner, const std::u16string& text, const std::u16string& caption,
                 uint32_t style) override;
  // opened comes once the box is registered, so a line sent on its news
  // answers it.
  int TrackedMessageBox(BoxOwner owner, const std::u16string& text, const std::u16string& caption,
                        uint32_t style, const std::function<void()>& opened) override;
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

  // The activity log file the `log` command names; empty: none (any thread).
  void SetActivityLogPath(std::string path);

 private:
  using Clock = emulated::UiQueue::Clock;
  struct Box {
    uint32_t style = 0;
    bool answered = false;
    int answer = 0;
  };
  struct Timer {
    uint32_t id;
    Clock::duration period;
    Clock::time_point due;
  };

  // ---- user-interface thread ----
  intptr_t Dispatch(uint32_t message, uintptr_t wParam, intptr_t lParam);
  // Runs one queued call or due timer, or waits for one; called and
  // returning with lock held.
  void PumpOnce(std::unique_lock<std::mutex>& lock);
  // ---- any thread ----
  // Runs fn on the user-interface thread and waits for it (SendMessage);
  // dropped when the window does not exist.
  void Send(const std::function<void()>& fn);
  void PostLocked(uint32_t message, uintptr_t wParam, intptr_t lParam);
  bool OnUiThreadLocked() const { return running_ && queue_.OnUiThread(); }
  // Applies a show code; true when the frame must be painted.
  bool ApplyShowLocked(int showCode);
  // Answers every open box as nobody can answer it any more.
  void AnswerOpenBoxesLocked();
  // ---- input thread ----
  void OnLine(std::string line);
  void OnInputEnd();

  ConsoleStreams streams_;
  LineReader reader_;

  emulated::UiQueue queue_;
  mutable std::mutex mu_;
  std::condition_variable done_;  // askers: their box was answered
  MessageTarget* target_ = nullptr;
  bool running_ = false;
  bool ended_ = false;
  int result_ = 0;
  std::vector<Timer> timers_;
  std::deque<Box*> boxes_;  // open, oldest first
  int asking_ = 0;          // threads inside MessageBox
  bool inputEnded_ = false;
  std::vector<MenuItem> menu_;  // the open pop-up menu, empty when none
  std::string activityLogPath_;

  // The window's state.
  emulated::ShowState shown_;
  bool tray_ = false;
};

}  // namespace qarx::console
