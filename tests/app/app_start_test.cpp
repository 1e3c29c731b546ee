// Start-up and shut-down of the application: the single-instance rule.
#include <gtest/gtest.h>

#include "app/qarx_service_app.h"
#include "app/qarx_service_dlg.h"
#include "support/fake_platform.h"

namespace qarx {
namespace {

// A platform whose threads never run: the reader monitor is not under test.
struct QuietPlatform : testing::FakePlatform {
  QuietPlatform() { threads.deferred = true; }
};

const std::u16string kInstanceName = u"the Mutex of the Veltrane IC Card Terminal Server!";

TEST(AppStart, ASecondInstanceEndsWithoutTouchingTheWindowSystem) {
  QuietPlatform fake;
  bool existed = false;
  auto running = fake.mutexes.Create(kInstanceName, true, existed);
  EXPECT_FALSE(theApp.InitInstance(fake.platform));
  EXPECT_EQ(g_hSingleInstanceMutex, nullptr);
  EXPECT_EQ(theApp.m_pMainWnd, nullptr);
  EXPECT_TRUE(fake.ui.calls().empty());
  EXPECT_EQ(fake.threads.started(), 0);
  EXPECT_EQ(theApp.ExitInstance(), 0);
  EXPECT_TRUE(fake.mutexes.Exists(kInstanceName));  // the first instance's handle is untouched
}

TEST(AppStart, TheFirstInstanceHoldsTheMutexUntilItExits) {
  QuietPlatform fake;
  EXPECT_FALSE(theApp.InitInstance(fake.platform));  // the fake's modal run returns at once
  ASSERT_NE(g_hSingleInstanceMutex, nullptr);
  EXPECT_FALSE(fake.ui.calls().empty());  // the dialog was initialised
  EXPECT_EQ(fake.ui.timerPeriod(kTimerId), 5000);
  EXPECT_EQ(theApp.m_pMainWnd, nullptr);
  EXPECT_EQ(theApp.ExitInstance(), 0);
  EXPECT_EQ(g_hSingleInstanceMutex, nullptr);
  EXPECT_FALSE(fake.mutexes.Exists(kInstanceName));
  // A later start is admitted (here with the shortened timer of a test run).
  EXPECT_FALSE(theApp.InitInstance(fake.platform, 250));
  EXPECT_NE(g_hSingleInstanceMutex, nullptr);
  EXPECT_EQ(fake.ui.timerPeriod(kTimerId), 250);
  theApp.ExitInstance();
}

TEST(AppStart, TheMutexIsLookedAtBeforeAnythingElseOfTheStart) {
  QuietPlatform fake;
  bool existed = false;
  auto running = fake.mutexes.Create(kInstanceName, true, existed);
  EXPECT_FALSE(theApp.AdmitInstance(fake.mutexes));
  // What the start then does with a refused admission: nothing at all.
  EXPECT_FALSE(theApp.InitInstance(fake.platform));
  EXPECT_EQ(fake.mutexes.createCount(kInstanceName), 2);  // not asked again
  EXPECT_TRUE(fake.ui.calls().empty());
  EXPECT_EQ(theApp.ExitInstance(), 0);
  running.reset();

  EXPECT_TRUE(theApp.AdmitInstance(fake.mutexes));
  EXPECT_FALSE(theApp.InitInstance(fake.platform));
  EXPECT_EQ(fake.mutexes.createCount(kInstanceName), 3);
  EXPECT_FALSE(fake.ui.calls().empty());
  theApp.ExitInstance();
}

TEST(AppStart, AnExitRequestedBeforeTheDialogEndsTheStartWithoutIt) {
  QuietPlatform fake;
  theApp.RequestExit();
  EXPECT_FALSE(theApp.InitInstance(fake.platform));
  EXPECT_TRUE(fake.ui.calls().empty());
  EXPECT_EQ(theApp.ExitInstance(), 0);
  // The request was spent on that start.
  theApp.InitInstance(fake.platform);
  EXPECT_FALSE(fake.ui.calls().empty());
  theApp.ExitInstance();
}

TEST(AppStart, AMutexThatCannotBeCreatedDoesNotStopTheStart) {
  QuietPlatform fake;
  fake.mutexes.failCreate = true;
  theApp.InitInstance(fake.platform);
  EXPECT_EQ(g_hSingleInstanceMutex, nullptr);
  EXPECT_FALSE(fake.ui.calls().empty());
  EXPECT_EQ(theApp.ExitInstance(), 0);
}

}  // namespace
}  // namespace qarx
