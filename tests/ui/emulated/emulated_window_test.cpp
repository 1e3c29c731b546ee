// The window-system rules and the user-interface queue that the console and
// Qt faces share, and template 102 as the build reads it.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/qarx_types.h"
#include "ui/emulated/dialog_template.h"
#include "ui/emulated/ui_queue.h"
#include "ui/emulated/window_rules.h"

namespace qarx::emulated {
namespace {

TEST(WindowRulesTest, ShowsPaintTheFrameWhenTheWindowAppearsOrChangesState) {
  const struct {
    int show;
    ShowState after;
    bool paints;
  } steps[] = {
      {SW_SHOWNORMAL, {true, false, false}, true},      // appears
      {SW_SHOW, {true, false, false}, false},           // already shown
      {SW_HIDE, {false, false, false}, false},          // hiding paints nothing
      {SW_SHOW, {true, false, false}, true},
      {SW_SHOWMINIMIZED, {true, true, false}, true},    // the frame changes
      {SW_SHOWNA, {true, true, false}, false},          // stays minimised
      {SW_RESTORE, {true, false, false}, true},
      {SW_SHOWMAXIMIZED, {true, false, true}, true},
      {SW_MINIMIZE, {true, true, true}, true},          // remembers the maximised state
      {SW_SHOWNORMAL, {true, false, false}, true},
      {SW_HIDE, {false, false, false}, false},
      {SW_SHOWMINNOACTIVE, {true, true, false}, true},  // appears minimised
  };
  ShowState state;
  for (const auto& step : steps) {
    const ShowState before = state;
    state = AfterShow(state, step.show);
    EXPECT_EQ(state, step.after) << "show " << step.show;
    EXPECT_EQ(PaintsFrame(before, state), step.paints) << "show " << step.show;
  }
}

TEST(WindowRulesTest, TimerFloorUnansweredBoxesAndDialogUnits) {
  for (const auto& [asked, period] : {std::pair{0u, 10u}, {9u, 10u}, {10u, 10u}, {5000u, 5000u}})
    EXPECT_EQ(TimerPeriodMs(asked), period) << asked;
  EXPECT_EQ(UnansweredBoxAnswer(MB_YESNO | MB_ICONQUESTION), IDNO);
  EXPECT_EQ(UnansweredBoxAnswer(MB_OK | MB_SYSTEMMODAL), static_cast<int>(IDOK));
  EXPECT_EQ(UnansweredBoxAnswer(MB_OK | MB_ICONWARNING), static_cast<int>(IDOK));
  // The template's client area at the 6 x 13 base units of its font on Windows.
  EXPECT_EQ(DluToPixelsX(dialog_template::kWidth, {6, 13}), 329);
  EXPECT_EQ(DluToPixelsY(dialog_template::kHeight, {6, 13}), 65);
  EXPECT_EQ(MulDiv(-3, 1, 2), -2);
  EXPECT_EQ(MulDiv(5, 3, 0), -1);
}

// The resource script and the ids the dialog's code uses must agree.
TEST(DialogTemplateTest, ReadFromTheResourceScriptWithTheCodesIds) {
  EXPECT_EQ(dialog_template::kDialogId, static_cast<uint32_t>(IDD_QARXSERVICE_DIALOG));
  EXPECT_EQ(std::u16string(dialog_template::kCaption), u"VeltraneIC卡互联网终端服务程序");
  EXPECT_EQ(std::u16string(dialog_template::kFontFace), u"微软雅黑");
  EXPECT_EQ(dialog_template::kFontPoints, 9);
  const uint32_t ids[] = {IDC_SYSINFO, IDC_BROWSER, IDC_CCIDINFO, IDC_INSTALLINFO, IDC_CHECKUPDATE, IDC_DOWNLOAD,
                          IDOK,        IDCANCEL,    IDC_ACTIVITY_LOG, IDC_PROGRESS, IDC_STATUS};
  ASSERT_EQ(std::size(dialog_template::kControls), std::size(ids));
  for (size_t i = 0; i < std::size(ids); ++i) EXPECT_EQ(dialog_template::kControls[i].id, ids[i]) << i;
  const auto& status = dialog_template::kControls[10];
  EXPECT_EQ(std::u16string(status.text), u"最新安装包下载");
  EXPECT_EQ(status.role, dialog_template::ControlRole::Text);
  EXPECT_TRUE(status.visible);
  EXPECT_FALSE(dialog_template::kControls[8].visible) << "the activity log is NOT WS_VISIBLE";
}

// Counts what is queued, so the test knows when a worker's call is waiting.
class CountingQueue {
 public:
  void WaitForQueued(int n) {
    std::unique_lock lock(mu_);
    cv_.wait(lock, [&] { return queued_ >= n; });
  }
  UiQueue queue{[this] {
    std::lock_guard lock(mu_);
    ++queued_;
    cv_.notify_all();
  }};

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  int queued_ = 0;
};

TEST(UiQueueTest, SentCallsRunBeforePostedOnesAndTheirSenderWaits) {
  CountingQueue counted;
  UiQueue& queue = counted.queue;
  std::vector<std::string> ran;  // user-interface thread only
  ASSERT_TRUE(queue.Post([&] { ran.push_back("post 1"); }));
  ASSERT_TRUE(queue.Post([&] { ran.push_back("post 2"); }));
  std::atomic<intptr_t> sent{-1};
  std::thread worker([&] {
    EXPECT_FALSE(queue.OnUiThread());
    sent = queue.Send([&] {
      ran.push_back("sent");
      return intptr_t{42};
    }, -2);
  });
  counted.WaitForQueued(3);
  EXPECT_EQ(sent.load(), -1) << "the sender waits for the loop";
  while (queue.RunNext()) {
  }
  worker.join();
  EXPECT_EQ(sent.load(), 42);
  EXPECT_EQ(ran, (std::vector<std::string>{"sent", "post 1", "post 2"}));
  EXPECT_EQ(queue.Send([] { return intptr_t{7}; }, -2), 7) << "on the user-interface thread: at once";
}

TEST(UiQueueTest, ClosingReleasesEveryWaiterWithItsFallbackUntilOpenedAgain) {
  CountingQueue counted;
  UiQueue& queue = counted.queue;
  std::shared_ptr<UiQueue::Reply> reply = queue.NewReply();
  std::atomic<intptr_t> sent{-1};
  std::atomic<intptr_t> answered{-1};
  std::atomic<bool> ran{false};
  std::thread sender([&] { sent = queue.Send([&] { ran = true; return intptr_t{1}; }, IDNO); });
  std::thread asker([&] { answered = queue.Wait(*reply, IDOK); });
  counted.WaitForQueued(1);
  queue.Close();
  sender.join();
  asker.join();
  EXPECT_EQ(sent.load(), IDNO);
  EXPECT_EQ(answered.load(), static_cast<intptr_t>(IDOK));
  EXPECT_FALSE(queue.RunNext()) << "what was queued is dropped";
  EXPECT_FALSE(ran);
  EXPECT_FALSE(queue.Post([] {}));
  EXPECT_TRUE(queue.closed());

  queue.Open();
  EXPECT_TRUE(queue.Post([] {}));
  EXPECT_TRUE(queue.RunNext());
  // A wake is kept until the loop waits, so none is lost; a past deadline
  // returns at once.
  queue.Wake();
  queue.WaitForWork(std::nullopt);
  queue.WaitForWork(UiQueue::Clock::now());
}

}  // namespace
}  // namespace qarx::emulated
