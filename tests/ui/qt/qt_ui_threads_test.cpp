#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <QAbstractButton>
#include <QListWidget>
#include <QMessageBox>

#include "common/qarx_types.h"
#include "qt_test_support.h"

namespace qarx::qt {
namespace {

using qarx::testing::Delivered;
using qarx::testing::OpenBoxes;
using qarx::testing::RecordingTarget;
using qarx::testing::RunModalWith;
using qarx::testing::TheDialog;

constexpr int kLogLines = 20;

class QtUiThreadsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (std::thread& t : workers) t.join();
  }
  QtUiPort port{nullptr};
  RecordingTarget target;
  std::vector<std::thread> workers;
};

// A worker's question must leave the user-interface thread free: timers keep
// ticking and other workers' log lines keep landing while the box is open.
TEST_F(QtUiThreadsTest, WorkerQuestionLeavesTheUserInterfaceRunning) {
  std::atomic<int> answer{-1};
  std::atomic<bool> asking{false};
  int ticksWhileOpen = 0;
  bool clicked = false;
  target.onMessage = [&](const Delivered& d) {
    if (d.message == WM_INITDIALOG) {
      port.SetTimer(1, 10);
      workers.emplace_back([&] {
        asking = true;
        answer = port.MessageBox(BoxOwner::Desktop, u"   未安装控件\r\n是否需要下载安装?", u"Veltrane服务程序提示",
                                 MB_YESNO | MB_ICONQUESTION);
        port.ListAddString(u"answered");
        port.EndModal(5);
      });
      workers.emplace_back([&] {
        for (int i = 0; i < kLogLines; ++i) port.ListAddString(u"line " + std::u16string(1, u'a' + i));
      });
    }
    if (d.message != WM_TIMER || clicked) return;
    const std::vector<QMessageBox*> open = OpenBoxes();
    if (open.empty()) return;
    ++ticksWhileOpen;
    if (ticksWhileOpen < 3 || TheDialog()->ActivityLog()->count() < kLogLines) return;
    QMessageBox* box = open.front();
    EXPECT_EQ(box->windowTitle(), QString::fromUtf16(u"Veltrane服务程序提示"));
    EXPECT_EQ(box->text(), QString::fromUtf16(u"   未安装控件\n是否需要下载安装?"));
    EXPECT_EQ(box->icon(), QMessageBox::Question);
    EXPECT_EQ(box->parentWidget(), nullptr);
    EXPECT_EQ(answer.load(), -1) << "the worker waits for the answer";
    clicked = true;
    box->button(QMessageBox::Yes)->click();
  };
  EXPECT_EQ(RunModalWith(port, target, [] {}), 5);
  EXPECT_TRUE(asking);
  EXPECT_EQ(answer.load(), IDYES);
  EXPECT_GE(ticksWhileOpen, 3);
  QListWidget* log = TheDialog()->ActivityLog();
  ASSERT_EQ(log->count(), kLogLines + 1);
  for (int i = 0; i < kLogLines; ++i) {
    EXPECT_EQ(log->item(i)->text(), QString::fromUtf16(u"line ") + QChar(u'a' + i)) << "in sending order";
  }
  EXPECT_EQ(log->item(kLogLines)->text(), QStringLiteral("answered"));
  EXPECT_TRUE(OpenBoxes().empty());
}

// Several workers ask at once; each gets its own box and its own answer.
TEST_F(QtUiThreadsTest, ConcurrentQuestionsGetTheirOwnAnswers) {
  std::atomic<int> answers[2] = {-1, -1};
  const char16_t* texts[2] = {u"检查到控件有更新\r\n是否需要下载更新?", u"检查到服务程序有更新\r\n  是否需要下载更新?"};
  target.onMessage = [&](const Delivered& d) {
    if (d.message == WM_INITDIALOG) {
      port.SetTimer(1, 10);
      for (int i = 0; i < 2; ++i) {
        workers.emplace_back([&, i] {
          answers[i] = port.MessageBox(BoxOwner::Desktop, texts[i], u"Veltrane服务程序提示", MB_YESNO | MB_ICONQUESTION);
          if (answers[0] != -1 && answers[1] != -1) port.EndModal(0);
        });
      }
    }
    if (d.message != WM_TIMER) return;
    const std::vector<QMessageBox*> open = OpenBoxes();
    if (open.size() < 2) return;
    for (QMessageBox* box : open) {
      const bool control = box->text().contains(QString::fromUtf16(u"控件"));
      box->button(control ? QMessageBox::Yes : QMessageBox::No)->click();
    }
  };
  RunModalWith(port, target, [] {});
  EXPECT_EQ(answers[0].load(), IDYES);
  EXPECT_EQ(answers[1].load(), IDNO);
}

// Ending the run from a worker wakes the loop; a question still open and any
// later call from a worker return at once instead of waiting for a loop that
// no longer runs.
TEST_F(QtUiThreadsTest, EndFromAWorkerReleasesEveryWaiter) {
  std::atomic<int> answer{-1};
  std::atomic<bool> boxShown{false};
  target.onMessage = [&](const Delivered& d) {
    if (d.message == WM_INITDIALOG) {
      port.SetTimer(1, 10);
      workers.emplace_back([&] {
        answer = port.MessageBox(BoxOwner::None, u"获取终端固件版本信息失败！\r\n未能完成终端固件版本检查！", u"Error",
                                 MB_OK | MB_SYSTEMMODAL);
      });
    }
    if (d.message == WM_TIMER && !OpenBoxes().empty() && !boxShown) {
      boxShown = true;
      workers.emplace_back([&] { port.EndModal(3); });
    }
  };
  EXPECT_EQ(RunModalWith(port, target, [] {}), 3);
  EXPECT_TRUE(boxShown);
  workers.front().join();
  workers.erase(workers.begin());
  EXPECT_EQ(answer.load(), IDOK) << "nobody answered: a notice counts as OK";
  EXPECT_TRUE(OpenBoxes().empty()) << "the box goes with the program";

  std::thread late([&] {
    port.ListAddString(u"too late");
    port.SetProgressPos(50);
    EXPECT_FALSE(port.IsWindowVisible());
    EXPECT_EQ(port.MessageBox(BoxOwner::Desktop, u"q", u"c", MB_YESNO), IDNO) << "a question no";
  });
  late.join();
  EXPECT_EQ(TheDialog()->ActivityLog()->count(), 0);
}

}  // namespace
}  // namespace qarx::qt
