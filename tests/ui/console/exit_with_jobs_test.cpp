// The service leaving while jobs still run: the application on the console
// front-end, a download held in the middle of its transfer or a firmware
// check held in its question, and an exit by each road. The jobs go on after
// the modal run has ended; they must find the dialog still there and get no
// effect from it.
#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "app/qarx_service_app.h"
#include "app/qarx_service_dlg.h"
#include "common/qarx_types.h"
#include "console_harness.h"
#include "firmware/firmware_check_job.h"
#include "firmware/firmware_update_handle.h"
#include "support/download_world.h"
#include "support/fake_pcsc.h"
#include "support/fake_text.h"
#include "support/wait_until.h"
#include "terminal/reader_slot.h"

namespace qarx::console {
namespace {

using testing::ConsoleBed;
using qarx::testing::FakeAnswer;
using qarx::testing::FakeCard;
using qarx::testing::Hex;
using qarx::testing::WaitUntil;

// Opens once; waiting for it has a 10 s guard against hangs.
class Gate {
 public:
  void Open() {
    std::lock_guard lock(mu_);
    open_ = true;
    cv_.notify_all();
  }
  bool Wait() {
    std::unique_lock lock(mu_);
    return cv_.wait_for(lock, std::chrono::seconds(10), [this] { return open_; });
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  bool open_ = false;
};

// ExitService from a job (the firmware check's unreadable model), or a
// termination signal, whose watching thread asks the application.
enum class Road { ConsoleExit, TrayMenu, AnotherJob, Signal };

const char* Name(Road road) {
  switch (road) {
    case Road::ConsoleExit: return "console exit";
    case Road::TrayMenu: return "tray menu";
    case Road::AnotherJob: return "another job";
    default: return "signal";
  }
}

class ExitWithJobsTest : public ::testing::Test {
 protected:
  ExitWithJobsTest() {
    fake.threads.deferred = true;  // jobs run where the test says
    fake.platform.files = &world.files;
    fake.platform.http = &world.http;
    fake.platform.launcher = &world.launcher;
    fake.platform.profile = &world.profile;
    fake.platform.text = &text;
  }
  ~ExitWithJobsTest() override {
    if (jobs.joinable()) jobs.join();
    if (service.joinable()) service.join();
    ReleaseFirmwareUpdateHandle();
  }

  // The process's main line on a new console: start-up, the modal run, shut-down.
  void StartService() {
    bed = std::make_unique<ConsoleBed>();
    fake.platform.ui = bed->ui.get();
    service = std::thread([this] {
      theApp.InitInstance(fake.platform);
      exitCode = theApp.ExitInstance();
    });
  }
  // Runs the jobs the dialog started so far on a thread of their own.
  void RunJobs(int started) {
    ASSERT_TRUE(fake.threads.AwaitStarted(started));
    jobs = std::thread([this] { fake.threads.RunPending(); });
  }
  void Exit(Road road) {
    switch (road) {
      case Road::ConsoleExit:
        bed->Type("exit");
        break;
      case Road::TrayMenu:
        bed->Type("tray-right");
        ASSERT_TRUE(bed->out.WaitFor("menu:"));
        bed->Type("退出");
        break;
      case Road::AnotherJob:
        std::thread([] { AfxGetMainWnd()->ExitService(); }).join();
        break;
      case Road::Signal:
        std::thread([] { theApp.RequestExit(); }).join();
        break;
    }
    service.join();
  }

  std::unique_ptr<ConsoleBed> bed;
  qarx::testing::DownloadWorld world;  // its fakes; its own dialog stays unused
  qarx::testing::FakePlatform& fake = world.fake;
  qarx::testing::FakeText text;
  std::thread service;
  std::thread jobs;
  int exitCode = -1;
};

TEST_F(ExitWithJobsTest, ExitDuringATransferLeavesTheJobNothingToTouch) {
  const std::u16string url = u"https://update.test/static/basis/ic/ICCardSetup_1.0.0.1.exe";
  for (Road road : {Road::ConsoleExit, Road::TrayMenu, Road::AnotherJob, Road::Signal}) {
    for (int heldAt : {1, 3}) {
      SCOPED_TRACE(std::string(Name(road)) + ", held at read " + std::to_string(heldAt));
      world.http.Serve(url, FakeAnswer{200, qarx::testing::DownloadWorld::Body(8 * 1024)});
      Gate reached;
      Gate release;
      int reads = 0;
      world.http.onEvent = [&](const std::string& event) {
        if (event.rfind("read ", 0) == 0 && ++reads == heldAt) {
          reached.Open();
          release.Wait();
        }
      };
      const int startedBefore = fake.threads.started();
      StartService();
      // The request names the dialog, which the start-up makes in place of
      // the world's.
      ASSERT_TRUE(WaitUntil([this] { return AfxGetMainWnd() && AfxGetMainWnd() != &world.dlg; }));
      bed->ui->PostMessage(WM_DOWNLOAD_REQUEST, reinterpret_cast<uintptr_t>(AfxGetMainWnd()), kPackageControl);
      RunJobs(startedBefore + 1);
      ASSERT_TRUE(reached.Wait());
      ASSERT_TRUE(bed->ui->trayShown());

      Exit(road);
      EXPECT_EQ(exitCode, 0);
      EXPECT_FALSE(bed->ui->trayShown());
      const auto linesAtExit = bed->out.lines().size();
      bed->CloseInput();  // a question asked now would be answered (and printed) at once
      release.Open();     // the transfer goes on after the run has ended
      jobs.join();

      EXPECT_EQ(bed->out.lines().size(), linesAtExit) << "no question or line after the exit";
      EXPECT_FALSE(bed->ui->trayShown());
      EXPECT_TRUE(world.launcher.executed().empty());
      world.http.onEvent = nullptr;
      world.files.DeleteFile(world.files.tempPath + u"VLT_Terminal_Control.exe");
    }
  }
}

TEST_F(ExitWithJobsTest, ExitWhileAFirmwareCheckAsksLeavesTheAnswerWithoutEffect) {
  qarx::testing::FakePcsc pcsc;
  pcsc.AddReader(u"VLT A");
  FakeCard card;
  // Model ABC12, firmware 1.0.0.1; the configuration has 1.0.0.2.
  card.answers[Hex("7E 10 00 01 00")] = Hex("010B 0001020304050607 414243  0602 3132  0207 312E302E302E31  9000");
  pcsc.InsertCard(u"VLT A", card);
  world.files.Put(u"VLT_Terminal_SetupConfig.ini",
                  "[ABC12]\nURL=http://update.test/abc12.exe\nVersionMajor=1\nVersionBuild=0\n"
                  "VersionRevision=0\nVersionMinor=2\n");
  ReaderSlot& slot = g_readerSlots[0];  // as the monitor claims it
  slot.readerName = u"VLT A";
  slot.claimed = true;

  for (Road road : {Road::AnotherJob, Road::Signal}) {
    for (int answer : {IDYES, IDNO}) {
      SCOPED_TRACE(std::string(Name(road)) + (answer == IDYES ? ", answered yes" : ", answered no"));
      const int startedBefore = fake.threads.started();
      StartService();
      bed->ui->PostMessage(WM_READER_EVENT, kReaderArrived, reinterpret_cast<intptr_t>(&slot));
      ASSERT_TRUE(fake.threads.AwaitStarted(startedBefore + 1));
      fake.platform.pcsc = &pcsc;  // the card side only from here: no reader monitor runs
      RunJobs(startedBefore + 1);
      ASSERT_TRUE(bed->out.WaitFor("(y/n)"));

      Exit(road);
      EXPECT_EQ(exitCode, 0);
      const auto linesAtExit = bed->out.lines().size();
      bed->Type(answer == IDYES ? "y" : "n");  // the answer comes after the run has ended
      bed->CloseInput();
      jobs.join();
      fake.platform.pcsc = nullptr;

      EXPECT_EQ(bed->out.lines().size(), linesAtExit) << "no line after the exit";
      ReleaseFirmwareUpdateHandle();
    }
  }
}

}  // namespace
}  // namespace qarx::console
