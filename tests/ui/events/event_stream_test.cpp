#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "common/qarx_types.h"
#include "support/fake_ui.h"
#include "ui/events/instrumentation.h"

namespace qarx::events {
namespace {

namespace fs = std::filesystem;

class EventFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qarx-events-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    path_ = (dir_ / "events.jsonl").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  // The lines written so far, with the leading "t" field checked and cut.
  std::vector<std::string> Lines() {
    std::vector<std::string> out;
    std::ifstream in(path_);
    std::string line;
    const std::regex head(R"(^\{"t":(\d+),)");
    long last = 0;
    while (std::getline(in, line)) {
      std::smatch m;
      EXPECT_TRUE(std::regex_search(line, m, head)) << line;
      if (m.empty()) continue;
      const long t = std::stol(m[1]);
      EXPECT_GE(t, last);  // milliseconds since start never go back
      last = t;
      out.push_back("{" + line.substr(static_cast<size_t>(m.length(0))));
    }
    return out;
  }

  fs::path dir_;
  std::string path_;
  testing::FakeUi fake_;
};

class RecordingUiTest : public EventFile {
 protected:
  void SetUp() override {
    EventFile::SetUp();
    sink = std::make_unique<EventSink>(path_, EventSink::Clock::now());
    ui = std::make_unique<RecordingUi>(fake_, *sink);
  }
  std::unique_ptr<EventSink> sink;
  std::unique_ptr<RecordingUi> ui;
};

TEST(JsonQuote, EscapesWhatJsonNeedsAndKeepsUtf8) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"plain", R"("plain")"},
      {"say \"hi\"", R"("say \"hi\"")"},
      {"C:\\x", R"("C:\\x")"},
      {"a\r\nb\tc", R"("a\r\nb\tc")"},
      {std::string("\x01\x1f\x7f", 3), R"("\u0001\u001f\u007f")"},
      {"互联网终端", R"("互联网终端")"},
  };
  for (const auto& c : cases) EXPECT_EQ(JsonQuote(c.in), c.out);
}

TEST_F(RecordingUiTest, EveryObservableEffectIsOneLineAndEveryCallReachesTheFrontEnd) {
  ui->ListAddString(u"操作系统：\"Windows\"");
  ui->SetStatusText(u"最新安装包下载");
  ui->SetProgressPos(42);
  ui->ShowWindow(SW_SHOWMINIMIZED);
  ui->TrayAdd({});
  ui->TrayDelete({});
  ui->TrackPopupMenu({{1127, u"打开"}, {}, {1128, u"退出"}});
  // Not observable: no event.
  ui->ListResetContent();
  ui->SetProgressRange(0, 100);
  ui->SetProgressStep(1);
  ui->SetTimer(1, 5000);
  ui->SetIcon(128, true);
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         R"({"ev":"log","text":"操作系统：\"Windows\""})",
                         R"({"ev":"status","text":"最新安装包下载"})",
                         R"({"ev":"progress","pos":42})",
                         R"({"ev":"window","show":2})",
                         R"({"ev":"tray","op":"add"})",
                         R"({"ev":"tray","op":"delete"})",
                         R"({"ev":"menu","items":["打开","-","退出"]})",
                     }));
  EXPECT_EQ(fake_.calls().size(), 12u);
}

TEST_F(RecordingUiTest, PromptsCarryIdsStyleAndTheirAnswers) {
  fake_.QueueAnswers({IDYES, IDNO, IDOK, IDOK});
  EXPECT_EQ(ui->MessageBox(BoxOwner::Desktop, u"下载?\r\n", u"Veltrane服务程序提示", MB_YESNO | MB_ICONQUESTION), IDYES);
  EXPECT_EQ(ui->MessageBox(BoxOwner::None, u"q", u"c", MB_YESNO), IDNO);
  ui->MessageBox(BoxOwner::Desktop, u"w", u"Veltrane服务程序", MB_OK | MB_ICONWARNING);
  ui->MessageBox(BoxOwner::None, u"e", u"Error", MB_OK | MB_SYSTEMMODAL);
  EXPECT_EQ(Lines(), (std::vector<std::string>{
      R"({"ev":"prompt","id":1,"caption":"Veltrane服务程序提示","text":"下载?\r\n","buttons":"yesno","icon":"question","modal":"desktop"})",
      R"({"ev":"answer","id":1,"answer":"yes"})",
      R"({"ev":"prompt","id":2,"caption":"c","text":"q","buttons":"yesno","icon":"none","modal":"none"})",
      R"({"ev":"answer","id":2,"answer":"no"})",
      R"({"ev":"prompt","id":3,"caption":"Veltrane服务程序","text":"w","buttons":"ok","icon":"warning","modal":"desktop"})",
      R"({"ev":"answer","id":3,"answer":"ok"})",
      R"({"ev":"prompt","id":4,"caption":"Error","text":"e","buttons":"ok","icon":"none","modal":"system"})",
      R"({"ev":"answer","id":4,"answer":"ok"})",
  }));
}

// A front-end whose showing paints the frame, and the frame paint hides.
class SelfHidingUi : public ForwardingUi {
 public:
  using ForwardingUi::ForwardingUi;
  void ShowWindow(int showCode) override {
    ForwardingUi::ShowWindow(showCode);
    if (showCode != SW_HIDE && outer) outer->ShowWindow(SW_HIDE);
  }
  UiPort* outer = nullptr;
};

TEST_F(EventFile, AShowIsRecordedBeforeTheHideItCauses) {
  EventSink sink(path_, EventSink::Clock::now());
  SelfHidingUi front(fake_);
  RecordingUi ui(front, sink);
  front.outer = &ui;
  ui.ShowWindow(SW_SHOWNORMAL);
  EXPECT_EQ(Lines(), (std::vector<std::string>{R"({"ev":"window","show":1})", R"({"ev":"window","show":0})"}));
}

class ModalOnce : public ForwardingUi {
 public:
  using ForwardingUi::ForwardingUi;
  int RunModal(MessageTarget&) override { return IDCANCEL; }
};

TEST_F(RecordingUiTest, LeavingTheModalRunIsTheExitEvent) {
  struct : MessageTarget {
    intptr_t WindowProc(uint32_t, uintptr_t, intptr_t) override { return 0; }
  } target;
  ModalOnce front(fake_);
  RecordingUi outer(front, *sink);
  EXPECT_EQ(outer.RunModal(target), IDCANCEL);
  EXPECT_EQ(Lines(), std::vector<std::string>{R"({"ev":"exit"})"});
}

TEST_F(EventFile, NoEventNoFile) {
  { EventSink sink(path_, EventSink::Clock::now()); }
  EXPECT_FALSE(fs::exists(path_));
  EventSink disabled("", EventSink::Clock::now());
  disabled.Emit("log");
  EXPECT_FALSE(disabled.enabled());
}

TEST_F(EventFile, AnUnwritableStreamIsReportedOnceAndNothingBreaks) {
  EventSink sink((dir_ / "missing" / "events.jsonl").string(), EventSink::Clock::now());
  std::vector<std::string> errors;
  sink.onError = [&](std::string_view line) { errors.emplace_back(line); };
  sink.Emit("log");
  sink.Emit("log");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("missing"), std::string::npos);
}

TEST_F(EventFile, LinesFromManyThreadsStayWhole) {
  EventSink sink(path_, EventSink::Clock::now());
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&sink, t] {
      for (int i = 0; i < 200; ++i) sink.Emit("log", EventFields().Str("text", std::string(50, char('a' + t))));
    });
  for (auto& thread : threads) thread.join();
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 800u);
  for (const auto& line : lines) EXPECT_TRUE(std::regex_match(line, std::regex(R"(\{"ev":"log","text":"([a-d])\1{49}"\})")));
}

class StubLauncher : public LauncherPort {
 public:
  uint32_t Execute(const std::u16string&, int) override { return result; }
  bool OpenUrl(const std::u16string&, int) override { return false; }
  uint32_t result = 33;
};

TEST_F(EventFile, LaunchesTellWhetherTheyStartedAndOpensAreAlwaysRecorded) {
  EventSink sink(path_, EventSink::Clock::now());
  StubLauncher stub;
  RecordingLauncher launcher(stub, sink);
  EXPECT_EQ(launcher.Execute(u"C:\\Temp\\VLT_Terminal_CosUpdate.exe", SW_SHOW), 33u);
  stub.result = 32;
  launcher.Execute(u"/tmp/a b.exe", SW_SHOW);
  stub.result = 31;
  launcher.Execute(u"x", SW_SHOW);
  EXPECT_FALSE(launcher.OpenUrl(u"http://portal.test", SW_SHOWNORMAL));
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         R"({"ev":"launch","path":"C:\\Temp\\VLT_Terminal_CosUpdate.exe","started":true})",
                         R"({"ev":"launch","path":"/tmp/a b.exe","started":true})",
                         R"({"ev":"launch","path":"x","started":false})",
                         R"({"ev":"open","url":"http://portal.test"})",
                     }));
}

TEST(AutoAnswer, ParsesYesAndNoOnly) {
  EXPECT_EQ(ParseAutoAnswer("yes"), IDYES);
  EXPECT_EQ(ParseAutoAnswer("YES"), IDYES);
  EXPECT_EQ(ParseAutoAnswer("no"), IDNO);
  for (const char* other : {"", "y", "1", "true", "yes "}) EXPECT_FALSE(ParseAutoAnswer(other)) << other;
}

TEST_F(EventFile, AutomaticAnswersAreRecordedAndTheFrontEndNeverAsks) {
  Settings settings;
  settings.eventsPath = path_;
  settings.autoAnswer = IDNO;
  StubLauncher launcher;
  std::vector<int> echoed;
  Instrumentation instruments(settings, fake_, launcher, EventSink::Clock::now(),
                              [&](const std::u16string&, const std::u16string&, int answer) {
                                echoed.push_back(answer);
                              });
  EXPECT_EQ(instruments.ui().MessageBox(BoxOwner::Desktop, u"q", u"c", MB_YESNO | MB_ICONQUESTION), IDNO);
  EXPECT_EQ(instruments.ui().MessageBox(BoxOwner::None, u"e", u"Error", MB_OK), IDOK);
  EXPECT_TRUE(fake_.boxes().empty());
  EXPECT_EQ(echoed, (std::vector<int>{IDNO, IDOK}));
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], R"({"ev":"answer","id":1,"answer":"no"})");
  EXPECT_EQ(lines[3], R"({"ev":"answer","id":2,"answer":"ok"})");
}

}  // namespace
}  // namespace qarx::events
