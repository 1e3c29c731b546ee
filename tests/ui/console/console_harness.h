// A ConsoleUi wired to pipes and recorders, its loop on a thread of its own.
#pragma once

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui.h"
#include "ui/console/console_ui.h"
#include "ui/events/forwarding_ui.h"

namespace qarx::console::testing {

// Lines written by the console, with the thread that wrote each.
class Recorder {
 public:
  void Add(std::string_view line) {
    std::lock_guard lock(mu_);
    lines_.emplace_back(line);
    threads_.push_back(std::this_thread::get_id());
    cv_.notify_all();
  }
  // Waits (10 s at most, as a guard against hangs) for n lines containing text.
  bool WaitFor(const std::string& text, size_t n = 1) {
    std::unique_lock lock(mu_);
    return cv_.wait_for(lock, std::chrono::seconds(10), [&] { return CountLocked(text) >= n; });
  }
  size_t Count(const std::string& text) const {
    std::lock_guard lock(mu_);
    return CountLocked(text);
  }
  std::vector<std::string> lines() const {
    std::lock_guard lock(mu_);
    return lines_;
  }
  std::thread::id threadOf(const std::string& text) const {
    std::lock_guard lock(mu_);
    for (size_t i = 0; i < lines_.size(); ++i)
      if (lines_[i].find(text) != std::string::npos) return threads_[i];
    return {};
  }

 private:
  size_t CountLocked(const std::string& text) const {
    size_t n = 0;
    for (const auto& line : lines_) n += line.find(text) != std::string::npos;
    return n;
  }
  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::vector<std::string> lines_;
  std::vector<std::thread::id> threads_;
};

struct Delivered {
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
  std::thread::id thread;
};

// Records every message; a test may act on any of them.
class Target : public MessageTarget {
 public:
  intptr_t WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    {
      std::lock_guard lock(mu_);
      delivered_.push_back({message, wParam, lParam, std::this_thread::get_id()});
      cv_.notify_all();
    }
    if (onMessage) onMessage(message, wParam, lParam);
    return 0;
  }
  std::vector<Delivered> delivered() const {
    std::lock_guard lock(mu_);
    return delivered_;
  }
  // Waits (10 s guard) until a message with this number arrived n times.
  bool WaitFor(uint32_t message, size_t n = 1) {
    std::unique_lock lock(mu_);
    return cv_.wait_for(lock, std::chrono::seconds(10), [&] {
      size_t count = 0;
      for (const auto& d : delivered_) count += d.message == message;
      return count >= n;
    });
  }
  std::function<void(uint32_t, uintptr_t, intptr_t)> onMessage;

 private:
  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::vector<Delivered> delivered_;
};

// A ConsoleUi seen through its port: what the dialog asked the window to show
// (log lines, status, progress, tray icon), which the console keeps no copy of.
class WatchedConsole : public events::ForwardingUi {
 public:
  // The base keeps a reference to console_, which is built right after it.
  explicit WatchedConsole(ConsoleStreams streams) : ForwardingUi(console_), console_(std::move(streams)) {}

  int TrackedMessageBox(BoxOwner owner, const std::u16string& text, const std::u16string& caption,
                        uint32_t style, const std::function<void()>& opened) override {
    return inner_.TrackedMessageBox(owner, text, caption, style, opened);
  }
  bool TrayAdd(const TrayIconData& data) override {
    Set(tray_, true);
    return inner_.TrayAdd(data);
  }
  bool TrayDelete(const TrayIconData& data) override {
    Set(tray_, false);
    return inner_.TrayDelete(data);
  }
  void ListAddString(const std::u16string& line) override {
    inner_.ListAddString(line);
    std::lock_guard lock(mu_);
    log_.push_back(line);
  }
  void ListResetContent() override {
    inner_.ListResetContent();
    std::lock_guard lock(mu_);
    log_.clear();
  }
  void SetStatusText(const std::u16string& text) override {
    inner_.SetStatusText(text);
    Set(status_, text);
  }
  void SetProgressPos(int pos) override {
    inner_.SetProgressPos(pos);
    Set(progress_, pos);
  }
  void SetActivityLogPath(std::string path) { console_.SetActivityLogPath(std::move(path)); }

  std::vector<std::u16string> logLines() const { return Get(log_); }
  std::u16string statusText() const { return Get(status_); }
  int progressPos() const { return Get(progress_); }
  bool trayShown() const { return Get(tray_); }

 private:
  template <typename T, typename V>
  void Set(T& field, V value) {
    std::lock_guard lock(mu_);
    field = std::move(value);
  }
  template <typename T>
  T Get(const T& field) const {
    std::lock_guard lock(mu_);
    return field;
  }
  ConsoleUi console_;
  mutable std::mutex mu_;
  std::vector<std::u16string> log_;
  std::u16string status_;
  int progress_ = 0;
  bool tray_ = false;
};

class ConsoleBed {
 public:
  ConsoleBed() {
    int fds[2];
    if (pipe(fds) == 0) {
      readEnd_ = fds[0];
      writeEnd_ = fds[1];
    }
    ConsoleStreams streams;
    streams.input = readEnd_;
    streams.out = [this](std::string_view line) { out.Add(line); };
    streams.err = [this](std::string_view line) { err.Add(line); };
    ui = std::make_unique<WatchedConsole>(streams);
  }
  ~ConsoleBed() {
    Stop();
    ui.reset();
    CloseInput();
    close(readEnd_);
  }
  // Runs the modal loop on its own thread (the user-interface thread).
  void Start(MessageTarget& target) {
    loop_ = std::thread([this, &target] { result = ui->RunModal(target); });
    uiThread = loop_.get_id();
  }
  // Ends the loop (if still running) and waits for it.
  void Stop() {
    if (!loop_.joinable()) return;
    ui->EndModal(2);
    loop_.join();
  }
  void Join() { loop_.join(); }
  // Returns once the loop has handled everything posted before (and has
  // started); false when it did not within the guard time.
  bool Sync(Target& target) {
    ui->PostMessage(kSyncMessage, 0, 0);
    return target.WaitFor(kSyncMessage, ++syncs_);
  }
  static constexpr uint32_t kSyncMessage = 1024 + 998;  // WM_USER + 998
  void Type(const std::string& line) {
    const std::string text = line + "\n";
    [[maybe_unused]] const ssize_t written = write(writeEnd_, text.data(), text.size());
  }
  void CloseInput() {
    if (writeEnd_ >= 0) close(writeEnd_);
    writeEnd_ = -1;
  }

  Recorder out;
  Recorder err;
  std::unique_ptr<WatchedConsole> ui;
  std::thread::id uiThread;
  int result = -1;

 private:
  int readEnd_ = -1;
  int writeEnd_ = -1;
  size_t syncs_ = 0;
  std::thread loop_;
};

}  // namespace qarx::console::testing
