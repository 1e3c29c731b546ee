// The console front-end: the dialog's window, emulated on a terminal. A real
// message loop runs on the thread that calls RunModal (the user-interface
// thread): posted messages, control messages sent by other threads (the
// sender waits until the loop ran them), timers by deadline, and lines from
// standard input read on a thread of their own. The window itself is only
// state (visible, minimised, tray icon), but showing it delivers WM_NCPAINT
// as a real window system does, so the dialog hides itself as it would.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/ui.h"
#include "platform/line_reader.h"

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

  // What the window shows (any thread).
  std::vector<std::u16string> logLines() const;
  std::u16string statusText() const;
  int progressPos() const;
  bool trayShown() const;

 private:
  using Clock = std::chrono::steady_clock;
  struct Posted {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
  };
  struct Sent {
    std::function<void()> run;
    bool done = false;
  };
  struct Box {
    bool yesNo = false;
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
  // Runs one sent message, posted message or due timer, or waits for one.
  void PumpOnce(std::unique_lock<std::mutex>& lock);
  // ---- any thread ----
  // Runs fn on the user-interface thread and waits for it (SendMessage);
  // dropped when the window does not exist.
  void Send(const std::function<void()>& fn);
  bool OnUiThreadLocked() const { return running_ && std::this_thread::get_id() == uiThread_; }
  // Applies a show code; true when the frame must be painted.
  bool ApplyShowLocked(int showCode);
  static int DefaultAnswer(const Box& box);
  // ---- input thread ----
  void OnLine(std::string line);
  void OnInputEnd();

  ConsoleStreams streams_;
  LineReader reader_;

  mutable std::mutex mu_;
  std::condition_variable wake_;  // the loop: something to run or a deadline moved
  std::condition_variable done_;  // senders and askers: their message ran or box was answered
  MessageTarget* target_ = nullptr;
  std::thread::id uiThread_;
  bool running_ = false;
  bool ended_ = false;
  int result_ = 0;
  std::deque<Posted> posted_;
  std::deque<Sent*> sent_;
  std::vector<Timer> timers_;
  std::deque<Box*> boxes_;  // open, oldest first
  int asking_ = 0;          // threads inside MessageBox
  bool inputEnded_ = false;
  std::vector<MenuItem> menu_;  // the open pop-up menu, empty when none
  std::string activityLogPath_;

  // The window's state.
  bool visible_ = false;
  bool iconic_ = false;
  bool tray_ = false;
  std::vector<std::u16string> log_;
  std::u16string status_;
  int progressLow_ = 0;
  int progressHigh_ = 100;
  int progressStep_ = 10;
  int progressPos_ = 0;
};

}  // namespace qarx::console
