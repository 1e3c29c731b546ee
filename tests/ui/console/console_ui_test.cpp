#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "common/qarx_types.h"
#include "console_harness.h"
#include "ui/console/console_commands.h"
#include "ui/events/recording_ui.h"

namespace qarx::console {
namespace {

using testing::ConsoleBed;
using testing::Delivered;
using testing::Target;

constexpr uint32_t kStopMessage = WM_USER + 999;

// Messages other than the ones the loop itself delivers on start.
std::vector<Delivered> Routed(const Target& target) {
  std::vector<Delivered> out;
  for (const auto& d : target.delivered())
    if (d.message != WM_INITDIALOG && d.message != WM_NCPAINT && d.message != kStopMessage &&
        d.message != ConsoleBed::kSyncMessage)
      out.push_back(d);
  return out;
}

class ConsoleUiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    target.onMessage = [this](uint32_t message, uintptr_t, intptr_t) {
      if (message == kStopMessage) bed.ui->EndModal(7);
    };
  }
  // Posts the stop message after what was typed and waits for the loop's end.
  void Finish() {
    bed.ui->PostMessage(kStopMessage, 0, 0);
    bed.Join();
  }
  Target target;
  ConsoleBed bed;
};

TEST(ConsoleCommands, NamesAndIdsBecomeTheMessagesOfButtonsTrayAndMenu) {
  const struct {
    const char* line;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
  } cases[] = {
      {"sysinfo", WM_COMMAND, 1000, 0},     {"1000", WM_COMMAND, 1000, 0},
      {"browser", WM_COMMAND, 1001, 0},     {"ccid", WM_COMMAND, 1004, 0},
      {"download", WM_COMMAND, 1005, 0},    {"installinfo", WM_COMMAND, 1006, 0},
      {" CheckUpdate ", WM_COMMAND, 1007, 0}, {"ok", WM_COMMAND, 1, 0},
      {"1", WM_COMMAND, 1, 0},              {"cancel", WM_COMMAND, 2, 0},
      {"open", WM_COMMAND, 1127, 0},        {"1128", WM_COMMAND, 1128, 0},
      {"exit", WM_COMMAND, 1128, 0},        {"minimize", WM_COMMAND, 1130, 0},
      {"hide", WM_COMMAND, 1131, 0},        {"tray-left", 1126, 128, 513},
      {"tray-right", 1126, 128, 516},
  };
  for (const auto& c : cases) {
    const auto command = ParseCommand(c.line);
    ASSERT_TRUE(command) << c.line;
    EXPECT_EQ(command->message, c.message) << c.line;
    EXPECT_EQ(command->wParam, c.wParam) << c.line;
    EXPECT_EQ(command->lParam, c.lParam) << c.line;
  }
  // 1129 has no menu entry; nothing else is a command.
  for (const char* line : {"1129", "maximize", "", "sys info", "1003", "exit now"})
    EXPECT_FALSE(ParseCommand(line)) << line;
}

TEST(ConsoleCommands, YesIsYAndYesAndShi) {
  for (const char* line : {"y", "Y", "yes", " YES", "是"}) EXPECT_TRUE(IsYes(line)) << line;
  for (const char* line : {"n", "no", "", "yep", "否", "ok"}) EXPECT_FALSE(IsYes(line)) << line;
}

TEST(ConsoleCommands, BoxesShowCaptionTextAndTheirButtons) {
  EXPECT_EQ(DescribeBox(u"Veltrane服务程序提示", u"a\r\nb", MB_YESNO | MB_ICONQUESTION),
            "[Veltrane服务程序提示] a\nb (y/n)");
  EXPECT_EQ(DescribeBox(u"Error", u"x", MB_OK), "[Error] x (Enter)");
}

TEST_F(ConsoleUiTest, TypedCommandsArriveInOrderOnTheLoopThread) {
  bed.Start(target);
  for (const char* line : {"sysinfo", "1006", "ok", "exit"}) bed.Type(line);
  ASSERT_TRUE(target.WaitFor(WM_COMMAND, 4));
  Finish();
  const auto routed = Routed(target);
  ASSERT_EQ(routed.size(), 4u);
  const uintptr_t ids[] = {1000, 1006, 1, 1128};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(routed[i].message, WM_COMMAND);
    EXPECT_EQ(routed[i].wParam, ids[i]);
    EXPECT_EQ(routed[i].thread, bed.uiThread);
  }
  EXPECT_EQ(bed.result, 7);
}

TEST_F(ConsoleUiTest, UnknownCommandIsOneErrorLineAndNothingElse) {
  bed.Start(target);
  bed.Type("frobnicate");
  bed.Type("");
  bed.Type("open");
  ASSERT_TRUE(target.WaitFor(WM_COMMAND));
  Finish();
  EXPECT_EQ(bed.err.lines().size(), 1u);
  EXPECT_EQ(bed.err.Count("frobnicate"), 1u);
  ASSERT_EQ(Routed(target).size(), 1u);
  EXPECT_EQ(Routed(target)[0].wParam, 1127u);
}

TEST_F(ConsoleUiTest, LogPrintsTheActivityLogFilesPathAndDeliversNothing) {
  bed.Start(target);
  bed.Type("log");
  ASSERT_TRUE(bed.out.WaitFor("no activity log file"));
  bed.ui->SetActivityLogPath("/home/u/.local/state/qarx/activity.log");
  bed.Type(" LOG");
  bed.Type("open");
  ASSERT_TRUE(target.WaitFor(WM_COMMAND));
  Finish();
  EXPECT_EQ(bed.out.Count("/home/u/.local/state/qarx/activity.log"), 1u);
  EXPECT_TRUE(bed.err.lines().empty());
  ASSERT_EQ(Routed(target).size(), 1u);
}

TEST_F(ConsoleUiTest, TrayClicksOnlyWhileTheIconIsShown) {
  bed.Start(target);
  bed.Type("tray-left");
  ASSERT_TRUE(bed.err.WaitFor("tray"));
  bed.ui->TrayAdd({});
  bed.Type("tray-left");
  ASSERT_TRUE(target.WaitFor(WM_TRAY_NOTIFY));
  Finish();
  const auto routed = Routed(target);
  ASSERT_EQ(routed.size(), 1u);
  EXPECT_EQ(routed[0].wParam, 128u);
  EXPECT_EQ(routed[0].lParam, WM_LBUTTONDOWN);
}

TEST_F(ConsoleUiTest, StartInitialisesThenTheFirstShowingPaintsTheFrame) {
  bed.Start(target);
  Finish();
  const auto all = target.delivered();
  ASSERT_GE(all.size(), 2u);
  EXPECT_EQ(all[0].message, WM_INITDIALOG);
  EXPECT_EQ(all[1].message, WM_NCPAINT);
  EXPECT_TRUE(bed.ui->IsWindowVisible());  // nobody hid it here
}

TEST_F(ConsoleUiTest, ShowingDeliversTheFramePaintOnTheLoopThread) {
  std::atomic<int> paints{0};
  target.onMessage = [&](uint32_t message, uintptr_t, intptr_t) {
    if (message == WM_NCPAINT) ++paints;
    if (message == kStopMessage) bed.ui->EndModal(2);
  };
  bed.Start(target);
  ASSERT_TRUE(bed.Sync(target));
  ASSERT_EQ(paints, 1);
  // From a worker thread (this one): each step says whether a paint follows.
  const struct {
    int show;
    int paintsAfter;
  } steps[] = {
      {SW_SHOW, 1},           // already visible
      {SW_HIDE, 1},           // hiding paints nothing
      {SW_HIDE, 1},
      {SW_SHOWNORMAL, 2},     // becomes visible
      {SW_SHOWMINIMIZED, 3},  // minimised: the frame changes
      {SW_SHOW, 3},           // stays minimised
      {SW_SHOWNORMAL, 4},     // restored
  };
  for (const auto& step : steps) {
    bed.ui->ShowWindow(step.show);  // returns after the paint ran
    EXPECT_EQ(paints, step.paintsAfter) << "show " << step.show;
  }
  Finish();
  for (const auto& d : target.delivered()) EXPECT_EQ(d.thread, bed.uiThread);
}

TEST_F(ConsoleUiTest, ControlMessagesFromWorkersRunOnTheLoopThreadAndPrintLogLines) {
  bed.Start(target);
  ASSERT_TRUE(bed.Sync(target));
  std::thread worker([&] {
    bed.ui->ListAddString(u"操作系统: Linux");
    bed.ui->SetStatusText(u"正在下载");
    bed.ui->SetProgressPos(42);
  });
  worker.join();  // each call waited for the loop, so all are done now
  EXPECT_EQ(bed.out.Count("操作系统: Linux"), 1u);
  EXPECT_EQ(bed.out.threadOf("操作系统: Linux"), bed.uiThread);
  EXPECT_EQ(bed.ui->statusText(), u"正在下载");
  EXPECT_EQ(bed.ui->progressPos(), 42);
  EXPECT_EQ(bed.ui->logLines(), std::vector<std::u16string>{u"操作系统: Linux"});
  Finish();
}

TEST_F(ConsoleUiTest, TimersFireByIdUntilKilled) {
  std::atomic<int> ticks{0};
  target.onMessage = [&](uint32_t message, uintptr_t wParam, intptr_t) {
    if (message == WM_INITDIALOG) bed.ui->SetTimer(5, 10);
    if (message == WM_TIMER && wParam == 5 && ++ticks == 3) {
      EXPECT_TRUE(bed.ui->KillTimer(5));
      EXPECT_FALSE(bed.ui->KillTimer(5));
      bed.ui->PostMessage(kStopMessage, 0, 0);
    }
    if (message == kStopMessage) bed.ui->EndModal(2);
  };
  bed.Start(target);
  bed.Join();
  EXPECT_EQ(ticks, 3);
}

TEST_F(ConsoleUiTest, WorkerBoxesAreAnsweredOldestFirst) {
  bed.Start(target);
  int first = 0;
  int second = 0;
  std::thread a([&] { first = bed.ui->MessageBox(BoxOwner::Desktop, u"first?", u"Q", MB_YESNO); });
  ASSERT_TRUE(bed.out.WaitFor("first?"));
  std::thread b([&] { second = bed.ui->MessageBox(BoxOwner::Desktop, u"second?", u"Q", MB_YESNO); });
  ASSERT_TRUE(bed.out.WaitFor("second?"));
  bed.Type("no");
  bed.Type("是");
  a.join();
  b.join();
  EXPECT_EQ(first, IDNO);
  EXPECT_EQ(second, IDYES);
  int ok = 0;
  std::thread c([&] { ok = bed.ui->MessageBox(BoxOwner::None, u"done", u"Error", MB_OK); });
  ASSERT_TRUE(bed.out.WaitFor("done"));
  bed.Type("whatever");
  c.join();
  EXPECT_EQ(ok, IDOK);
  EXPECT_TRUE(Routed(target).empty());  // answers are not commands
  Finish();
}

// The event stream is a FIFO whose reader answers a question on the first
// bytes of its line, while the sink is still writing the rest (the text is
// longer than the pipe holds), and lets the sink go on only once the console
// has taken the answer: the earliest any reader can answer.
TEST_F(ConsoleUiTest, ALineSentOnThePromptEventAnswersTheBox) {
  char dir[] = "/tmp/qarx-prompt-test-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string stream = std::string(dir) + "/events";
  ASSERT_EQ(mkfifo(stream.c_str(), 0600), 0);
  const int in = open(stream.c_str(), O_RDONLY | O_NONBLOCK);
  const int held = open(stream.c_str(), O_WRONLY);  // no end of file before the sink opens it
  ASSERT_TRUE(in >= 0 && held >= 0 && fcntl(in, F_SETFL, 0) == 0);
  const int capacity = fcntl(in, F_SETPIPE_SZ, 4096);
  ASSERT_GT(capacity, 0);
  std::atomic<int> taken{0};  // answers run as commands
  target.onMessage = [&](uint32_t message, uintptr_t, intptr_t) {
    if (message == WM_COMMAND && ++taken) bed.Type("ok");  // the box still waits for a line
    if (message == kStopMessage) bed.ui->EndModal(2);
  };
  bed.Start(target);
  std::thread answerer([&] {
    std::string start;  // of the line being read
    int marks = 0;
    char buffer[4096];
    for (ssize_t n; (n = read(in, buffer, sizeof buffer)) > 0;) {
      for (const char c : std::string_view(buffer, static_cast<size_t>(n))) {
        if (c == '\n') start.clear();
        if (c == '\n' || start.size() > 40) continue;
        start += c;
        if (!start.ends_with(R"("ev":"prompt")")) continue;
        const std::string mark = "mark-" + std::to_string(++marks);
        bed.Type("ok");
        bed.Type(mark);  // an unknown command: its error line shows "ok" was taken
        EXPECT_TRUE(bed.err.WaitFor(mark));
      }
    }
  });
  {
    events::EventSink sink(stream, events::EventSink::Clock::now());
    events::RecordingUi ui(*bed.ui, sink);
    const std::u16string text(4 * static_cast<size_t>(capacity), u'x');
    for (int round = 0; round < 200; ++round)
      EXPECT_EQ(ui.MessageBox(BoxOwner::None, text, u"Error", MB_OK), IDOK);
  }
  close(held);
  answerer.join();
  close(in);
  Finish();
  EXPECT_EQ(taken, 0);
  std::filesystem::remove_all(dir);
}

TEST_F(ConsoleUiTest, TheLoopKeepsRunningWhileItsOwnThreadAsks) {
  std::atomic<int> answer{0};
  std::atomic<bool> postedDuringBox{false};
  std::atomic<bool> boxOpen{false};
  target.onMessage = [&](uint32_t message, uintptr_t wParam, intptr_t) {
    if (message == WM_COMMAND && wParam == IDC_SYSINFO) {
      boxOpen = true;
      answer = bed.ui->MessageBox(BoxOwner::Desktop, u"go on?", u"Q", MB_YESNO);
      boxOpen = false;
    }
    if (message == WM_USER) {
      postedDuringBox = boxOpen.load();
      bed.Type("y");
    }
    if (message == kStopMessage) bed.ui->EndModal(2);
  };
  bed.Start(target);
  bed.Type("sysinfo");
  ASSERT_TRUE(bed.out.WaitFor("go on?"));
  bed.ui->PostMessage(WM_USER, 0, 0);
  std::thread worker([&] { bed.ui->ListAddString(u"sent while asking"); });
  worker.join();  // a send is served by the asking loop too
  ASSERT_TRUE(bed.out.WaitFor("sent while asking"));
  Finish();
  EXPECT_TRUE(postedDuringBox);
  EXPECT_EQ(answer, IDYES);
}

TEST_F(ConsoleUiTest, EndOfInputAnswersNoAndOkAtOnce) {
  bed.Start(target);
  int open = 0;
  std::thread a([&] { open = bed.ui->MessageBox(BoxOwner::Desktop, u"pending?", u"Q", MB_YESNO); });
  ASSERT_TRUE(bed.out.WaitFor("pending?"));
  bed.CloseInput();
  a.join();
  EXPECT_EQ(open, IDNO);
  EXPECT_EQ(bed.ui->MessageBox(BoxOwner::Desktop, u"later?", u"Q", MB_YESNO), IDNO);
  EXPECT_EQ(bed.ui->MessageBox(BoxOwner::None, u"note", u"Error", MB_OK), IDOK);
  Finish();
}

TEST_F(ConsoleUiTest, MenuChoiceArrivesAsACommandAndOtherLinesCloseIt) {
  target.onMessage = [&](uint32_t message, uintptr_t wParam, intptr_t) {
    if (message == WM_COMMAND && wParam == IDC_SYSINFO) {
      bed.ui->TrackPopupMenu({{ID_MENU_OPEN, u"打开"}, {}, {ID_MENU_EXIT, u"退出"}});
    }
    if (message == kStopMessage) bed.ui->EndModal(2);
  };
  bed.Start(target);
  size_t menus = 0;
  for (const char* choice : {"打开", "1128", "browser"}) {
    bed.Type("sysinfo");
    ASSERT_TRUE(bed.out.WaitFor("menu:", ++menus));  // counted before the menu could show
    bed.Type(choice);
  }
  bed.Type("打开");  // no menu open now: not a command
  ASSERT_TRUE(bed.err.WaitFor("打开"));
  Finish();
  std::vector<uintptr_t> ids;
  for (const auto& d : Routed(target)) ids.push_back(d.wParam);
  EXPECT_EQ(ids, (std::vector<uintptr_t>{1000, 1127, 1000, 1128, 1000, 1001}));
  EXPECT_EQ(bed.out.lines()[0], "menu: 打开 (open 1127) | - | 退出 (exit 1128)");
}

TEST_F(ConsoleUiTest, AfterTheRunEndsPostsFailAndSendsReturn) {
  bed.Start(target);
  Finish();
  EXPECT_FALSE(bed.ui->PostMessage(WM_USER, 0, 0));
  std::thread worker([&] {
    bed.ui->ListAddString(u"too late");
    bed.ui->ShowWindow(SW_SHOWNORMAL);
  });
  worker.join();  // would hang if a send waited for a loop that is gone
  EXPECT_EQ(bed.out.Count("too late"), 0u);
}

}  // namespace
}  // namespace qarx::console
