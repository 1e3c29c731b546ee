// qarx-service: the single-instance check, then the dialog's modal run on the
// chosen front-end, wrapped in the event stream.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/qarx_service_app.h"
#include "app/qarx_service_dlg.h"
#include "common/qarx_types.h"
#include "main/front_end.h"
#include "platform/exit_signals.h"
#include "platform/os.h"
#include "ui/console/console_commands.h"
#include "ui/console/console_ui.h"
#include "ui/events/instrumentation.h"

#ifdef QARX_HAVE_QT
#include "ui/qt/qt_ui.h"
#endif
#ifdef QARX_HAVE_WIN32_UI
#include "ui/win32/win32_ui.h"
#endif

namespace {

// The program's own warnings. A program started at sign-in has no console
// (on Windows it is a windows-subsystem one), so each also goes to the
// system's debug output and, once the activity log exists, into it; those
// that come before it are kept until then.
class Warnings {
 public:
  void operator()(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
    qarx::os::DebugLine(line);
    if (instruments_)
      instruments_->Warn(line);
    else
      early_.emplace_back(line);
  }
  void LogTo(qarx::events::Instrumentation& instruments) {
    instruments_ = &instruments;
    for (const std::string& line : early_) instruments.Warn(line);
    early_.clear();
  }

 private:
  qarx::events::Instrumentation* instruments_ = nullptr;
  std::vector<std::string> early_;
};

// QARX_CONFIG_PERIOD_MS: the period of the timer that fetches the update
// configuration until it succeeds, for tests that would otherwise wait 5 s
// for every attempt. Unset: the dialog's own period.
uint32_t ConfigTimerPeriod(const std::function<void(std::string_view)>& warn) {
  const std::optional<std::string> text = qarx::os::Environment("QARX_CONFIG_PERIOD_MS");
  if (!text) return qarx::kTimerPeriodMs;
  uint32_t period = 0;
  const char* end = text->data() + text->size();
  const auto [stop, error] = std::from_chars(text->data(), end, period);
  if (error == std::errc() && stop == end && period > 0) return period;
  warn("qarx-service: QARX_CONFIG_PERIOD_MS must be a number of milliseconds above 0, not '" + *text + "'; using " +
       std::to_string(qarx::kTimerPeriodMs));
  return qarx::kTimerPeriodMs;
}

}  // namespace

int main(int argc, char** argv) {
  const auto start = qarx::events::EventSink::Clock::now();
  qarx::os::PrepareProcess();
  // First, while this is the only thread: every later one inherits the mask.
  qarx::os::WatchExitSignals([] { qarx::theApp.RequestExit(); });

  const std::unique_ptr<qarx::os::OsPlatform> os = qarx::os::MakePlatform();
  qarx::Platform platform = os->Bundle(nullptr);
  // A second start ends here, before any front-end exists.
  if (!qarx::theApp.AdmitInstance(*platform.mutexes)) std::_Exit(qarx::theApp.ExitInstance());

  using qarx::service::FrontEndKind;
#if defined(QARX_HAVE_WIN32_UI)
  constexpr FrontEndKind kDesktop = FrontEndKind::Win32;
#elif defined(QARX_HAVE_QT)
  constexpr FrontEndKind kDesktop = FrontEndKind::Qt;
#else
  constexpr FrontEndKind kDesktop = FrontEndKind::Console;
#endif
  Warnings warn;
  const auto warnLine = [&warn](std::string_view line) { warn(line); };
  const std::optional<std::string> choice = qarx::os::Environment("QARX_UI");
  [[maybe_unused]] const auto kind =
      qarx::service::ChooseFrontEnd(choice ? choice->c_str() : nullptr, qarx::os::HasDisplay(), kDesktop, warnLine);

  // The process ends here once the dialog's run is over; on Windows also
  // from inside the run when the user signs out, before Windows ends it.
  qarx::events::Instrumentation* instrumentsAtExit = nullptr;
  const auto leave = [&instrumentsAtExit](int code) {
    // Worker threads (reader monitor, jobs) are never joined and may still
    // use the ports: leave without running destructors, as the process
    // would end under them anyway.
    if (instrumentsAtExit) instrumentsAtExit->FlushBeforeExit();
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(code);
  };

  std::unique_ptr<qarx::UiPort> frontEnd;
#ifdef QARX_HAVE_QT
  if (kind == qarx::service::FrontEndKind::Qt) {
    frontEnd = qarx::MakeQtUi(argc, argv);
    if (!frontEnd) warnLine("qarx-service: no display for the Qt front-end; using the console");
  }
#endif
#ifdef QARX_HAVE_WIN32_UI
  if (kind == FrontEndKind::Win32) {
    frontEnd = qarx::MakeWin32Ui([&leave] { leave(qarx::theApp.ExitInstance()); });
    if (!frontEnd) warnLine("qarx-service: this session shows no windows; using the console");
  }
#endif
  (void)argc;
  (void)argv;
  const bool console = !frontEnd;
  if (console) frontEnd = std::make_unique<qarx::console::ConsoleUi>(qarx::console::StandardStreams());

  // Automatic answers still show up on the console, so a demo reads well.
  qarx::events::AutoAnswerUi::Echo echo;
  if (console) {
    echo = [out = qarx::console::StandardStreams().out](const std::u16string& caption, const std::u16string& text,
                                                         int answer) {
      const uint32_t style = answer == qarx::IDOK ? qarx::MB_OK : qarx::MB_YESNO;
      out(qarx::console::DescribeBox(caption, text, style) + " -> " + qarx::events::AnswerName(answer));
    };
  }

  const auto settings = qarx::events::SettingsFromEnvironment(warnLine);
  qarx::events::Instrumentation instruments(settings, *frontEnd, *platform.launcher, start, echo);
  platform.ui = &instruments.ui();
  platform.launcher = &instruments.launcher();
  platform.record = &instruments.record();
  if (console) static_cast<qarx::console::ConsoleUi&>(*frontEnd).SetActivityLogPath(instruments.activityLogPath());
  warn.LogTo(instruments);
  instrumentsAtExit = &instruments;

  qarx::theApp.InitInstance(platform, ConfigTimerPeriod(warnLine));
  leave(qarx::theApp.ExitInstance());
}
