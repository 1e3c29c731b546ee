// qarx-service: the single-instance check, then the dialog's modal run on the
// chosen front-end, wrapped in the event stream.
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/qarx_service_app.h"
#include "common/qarx_types.h"
#include "main/exit_signals.h"
#include "main/front_end.h"
#include "platform/linux/linux_ports.h"
#include "ui/console/console_commands.h"
#include "ui/console/console_ui.h"
#include "ui/events/instrumentation.h"

#ifdef QARX_HAVE_QT
#include "ui/qt/qt_ui.h"
#endif

namespace {

void WarnLine(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fputc('\n', stderr);
}

// A closed standard stream would hand its number to the next file opened
// (a mutex file, the event stream), which the console would then read or
// write as if it were the terminal.
void KeepStandardStreamsOpen() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1) open("/dev/null", O_RDWR);
  }
}

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const auto start = qarx::events::EventSink::Clock::now();
  KeepStandardStreamsOpen();
  // A closed output pipe must not kill the service.
  std::signal(SIGPIPE, SIG_IGN);
  // First, while this is the only thread: every later one inherits the mask.
  qarx::service::WatchExitSignals([] { qarx::theApp.RequestExit(); });

  qarx::linux_port::LinuxPlatform linuxPlatform;
  qarx::Platform platform = linuxPlatform.Bundle(nullptr);
  // A second start ends here, before any front-end exists.
  if (!qarx::theApp.AdmitInstance(*platform.mutexes)) std::_Exit(qarx::theApp.ExitInstance());

#ifdef QARX_HAVE_QT
  constexpr bool kQtBuilt = true;
#else
  constexpr bool kQtBuilt = false;
#endif
  [[maybe_unused]] const auto kind = qarx::service::ChooseFrontEnd(std::getenv("QARX_UI"), HasDisplay(), kQtBuilt, WarnLine);

  std::unique_ptr<qarx::UiPort> frontEnd;
#ifdef QARX_HAVE_QT
  if (kind == qarx::service::FrontEndKind::Qt) {
    frontEnd = qarx::MakeQtUi(argc, argv);
    if (!frontEnd) WarnLine("qarx-service: no display for the Qt front-end; using the console");
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

  const auto settings = qarx::events::SettingsFromEnvironment(WarnLine);
  qarx::events::Instrumentation instruments(settings, *frontEnd, *platform.launcher, start, echo);
  platform.ui = &instruments.ui();
  platform.launcher = &instruments.launcher();

  qarx::theApp.InitInstance(platform);
  const int code = qarx::theApp.ExitInstance();
  // Worker threads (reader monitor, jobs) are never joined and may still use
  // the ports: leave without running destructors, as the process would end
  // under them anyway.
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(code);
}
