#include "firmware/firmware_check_job.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>

#include "app/qarx_service_app.h"
#include "common/text.h"
#include "app/qarx_service_dlg.h"
#include "firmware/firmware_update_handle.h"
#include "support/arrival_window.h"
#include "support/fake_files.h"
#include "support/fake_launcher.h"
#include "support/fake_pcsc.h"
#include "support/fake_platform.h"
#include "support/fake_profile.h"
#include "support/fake_text.h"
#include "terminal/dev_info.h"
#include "terminal/reader_slot.h"

namespace qarx {
namespace {

using testing::FakeCard;
using testing::FakePcsc;
using testing::Hex;

const std::u16string kSeparator(47, u'-');
const std::u16string kUpgrade = u"COS信息>>COS程序:固件需要升级!";
const std::u16string kNoUpgrade = u"COS信息>>COS程序:固件不需要升级!";
const std::u16string kUpdateMutex = u"the Mutex of the Veltrane IC Card Terminal InsertDev!";
const std::u16string kToolMutex = u"the Mutex of the Veltrane IC Card Terminal Update Tools!";

std::string Tlv(int tag, const std::string& valueHex) {
  char header[8];
  std::snprintf(header, sizeof header, "%02X%02X", tag, static_cast<int>(Hex(valueHex).size()));
  return header + valueHex;
}

std::string Text(const std::string& text) {
  std::string hex;
  char two[3];
  for (unsigned char c : text) {
    std::snprintf(two, sizeof two, "%02X", c);
    hex += two;
  }
  return hex;
}

const std::string kTag1 = "00 01 02 03 04 05 06 07 41 42 43";  // bytes 8-10: "ABC"
const std::string kTag6 = "31 32";                              // "12"

std::string Answer(const std::string& tag1, const std::string& tag6, const std::string& version,
                   const std::string& status = "9000") {
  return Tlv(1, tag1) + Tlv(6, tag6) + Tlv(2, Text(version)) + status;
}

class FirmwareCheckJobTest : public ::testing::Test {
 protected:
  FirmwareCheckJobTest() {
    fake.platform.pcsc = &pcsc;
    fake.platform.text = &text;
    fake.platform.launcher = &launcher;
    fake.platform.files = &files;
    fake.platform.profile = &profile;
    theApp.m_pMainWnd = &dialog;
    Config("[ABC12]\nURL=http://update.test/abc12.exe\nVersionMajor=1\nVersionBuild=0\nVersionRevision=0\n"
           "VersionMinor=2\n"
           "[XYZ99]\nURL=http://update.test/xyz99.exe\nVersionMajor=1\nVersionBuild=0\nVersionRevision=0\n"
           "VersionMinor=1\n");
    slotA.readerName = u"VLT A";
    slotB.readerName = u"VLT B";
    slotA.claimed = slotB.claimed = true;
    pcsc.AddReader(u"VLT A");
    pcsc.AddReader(u"VLT B");
  }
  ~FirmwareCheckJobTest() override {
    theApp.m_pMainWnd = nullptr;
    ReleaseFirmwareUpdateHandle();
    // Leave the process-wide terminal table as found: a context kept after
    // a failed open goes with the last close.
    pcsc.AddReader(u"VLT Cleanup");
    pcsc.InsertCard(u"VLT Cleanup");
    int index = 0;
    if (DevOpen(fake.platform, u"VLT Cleanup", index) == 0) DevClose(fake.platform, index);
  }
  void Config(const std::string& ini) { files.Put(u"VLT_Terminal_SetupConfig.ini", ini); }
  void Terminal(const std::u16string& reader, const std::string& answerHex, uint32_t protocol = SCARD_PROTOCOL_T1) {
    FakeCard card;
    card.answers[Hex("7E 10 00 01 00")] = Hex(answerHex);
    card.protocol = protocol;
    pcsc.InsertCard(reader, card);
  }
  int Check(ReaderSlot& slot) { return FirmwareCheckJob(FirmwareCheckRequest{&dialog, &slot}); }
  std::vector<std::u16string> Log() const { return fake.ui.log(); }
  int Opened() const { return static_cast<int>(launcher.opened().size()); }
  bool NothingVisible() const { return Log().empty() && fake.ui.boxes().empty() && Opened() == 0; }

  testing::FakePlatform fake;
  FakePcsc pcsc;
  testing::FakeText text;
  testing::FakeLauncher launcher;
  testing::FakeFiles files;
  testing::FakeProfile profile{files};
  CQarxServiceDlg dialog{fake.platform};
  // Two slots of the table, as the monitor claims them.
  ReaderSlot& slotA = g_readerSlots[0];
  ReaderSlot& slotB = g_readerSlots[1];
};

TEST_F(FirmwareCheckJobTest, OutdatedFirmwareIsOfferedAndYesRequestsTheDownload) {
  Terminal(u"VLT A", Answer(kTag1, kTag6, "1.0.0.1"));
  fake.ui.QueueAnswers({IDYES});
  EXPECT_EQ(Check(slotA), 0);

  EXPECT_EQ(Log(), (std::vector<std::u16string>{kUpgrade, kSeparator}));
  ASSERT_EQ(fake.ui.boxes().size(), 1u);
  const auto box = fake.ui.boxes()[0];
  EXPECT_EQ(box.owner, BoxOwner::Desktop);
  EXPECT_EQ(box.text, u" 固件需要升级\r\n是否需要最新固件安装?");
  EXPECT_EQ(box.caption, u"Veltrane服务程序提示");
  EXPECT_EQ(box.style, 0x24u);  // MB_ICONQUESTION | MB_YESNO
  ASSERT_EQ(fake.ui.posted().size(), 1u);
  EXPECT_EQ(fake.ui.posted()[0].message, 1125u);
  EXPECT_EQ(fake.ui.posted()[0].wParam, reinterpret_cast<uintptr_t>(&dialog));
  EXPECT_EQ(fake.ui.posted()[0].lParam, 4);
  EXPECT_TRUE(fake.mutexes.Exists(kUpdateMutex));  // held for the download job
  EXPECT_NE(g_hFirmwareUpdateMutex, nullptr);
  ASSERT_EQ(Opened(), 1);
  EXPECT_EQ(launcher.opened()[0].target, u"http://portal.test");
  EXPECT_EQ(launcher.opened()[0].showCode, 3);  // SW_SHOWMAXIMIZED
  EXPECT_EQ(dialog.GetPackage(4).URL, u"http://update.test/abc12.exe");  // section "ABC12"
  EXPECT_EQ(pcsc.count("transmit 101 T1 7E10000100"), 1);
  EXPECT_EQ(pcsc.count("disconnect 101"), 1);
  EXPECT_FALSE(fake.mutexes.Exists(kToolMutex));  // the probe leaves nothing behind
}

TEST_F(FirmwareCheckJobTest, NoReleasesTheOfferSoTheNextCheckAsksAgain) {
  Terminal(u"VLT A", Answer(kTag1, kTag6, "1.0.0.1"));
  fake.ui.QueueAnswers({IDNO});
  EXPECT_EQ(Check(slotA), 0);
  EXPECT_TRUE(fake.ui.posted().empty());
  EXPECT_EQ(g_hFirmwareUpdateMutex, nullptr);
  EXPECT_FALSE(fake.mutexes.Exists(kUpdateMutex));
  EXPECT_EQ(Opened(), 1);

  EXPECT_EQ(Check(slotA), 0);
  EXPECT_EQ(fake.ui.boxes().size(), 2u);
  EXPECT_EQ(Log(), (std::vector<std::u16string>{kUpgrade, kSeparator, kUpgrade, kSeparator}));
}

TEST_F(FirmwareCheckJobTest, CurrentFirmwareOrMissingSectionOffersNothing) {
  struct Case {
    const char* what;
    std::string tag6;
    std::string version;
  } cases[] = {
      {"same version", kTag6, "1.0.0.2"},
      {"later version", kTag6, "1.0.0.3"},
      {"model without a section", "39 39", "0.0.0.1"},  // "ABC99": versions read -1
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const size_t before = Log().size();
    Terminal(u"VLT A", Answer(kTag1, c.tag6, c.version));
    EXPECT_EQ(Check(slotA), 0);
    const auto log = Log();
    EXPECT_EQ(std::vector<std::u16string>(log.begin() + static_cast<long>(before), log.end()),
              (std::vector<std::u16string>{kNoUpgrade, kSeparator}));
    EXPECT_TRUE(fake.ui.boxes().empty());
    EXPECT_FALSE(fake.mutexes.Exists(kUpdateMutex));
  }
  EXPECT_EQ(Opened(), 3);
}

TEST_F(FirmwareCheckJobTest, FailuresBeforeTheComparisonEndTheJobSilently) {
  struct Case {
    const char* what;
    std::string answer;
    int result;
  } cases[] = {
      {"status 6A 82", "6A82", 0},
      {"good answer but another status", Answer(kTag1, kTag6, "1.0.0.1", "6A82"), 0},
      {"one byte", "90", 0},
      {"tag 1 missing", Tlv(6, kTag6) + Tlv(2, Text("1.0.0.1")) + "9000", -1},
      {"tag 6 missing", Tlv(1, kTag1) + Tlv(2, Text("1.0.0.1")) + "9000", -1},
      {"tag 2 missing", Tlv(1, kTag1) + Tlv(6, kTag6) + "9000", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Terminal(u"VLT A", c.answer);
    EXPECT_EQ(Check(slotA), c.result);
    EXPECT_TRUE(NothingVisible());
  }
  EXPECT_EQ(pcsc.count("connect"), pcsc.count("disconnect"));
}

TEST_F(FirmwareCheckJobTest, TransmissionFailureClosesTheTerminalAndEndsSilently) {
  Terminal(u"VLT A", Answer(kTag1, kTag6, "1.0.0.1"));
  pcsc.Script(FakePcsc::Call::Transmit, {SCARD_E_INSUFFICIENT_BUFFER});
  EXPECT_EQ(Check(slotA), -1);
  EXPECT_EQ(pcsc.count("disconnect"), 1);
  EXPECT_TRUE(NothingVisible());
}

TEST_F(FirmwareCheckJobTest, TerminalThatOpensOnTheFourthAttemptIsChecked) {
  Terminal(u"VLT A", Answer(kTag1, kTag6, "1.0.0.2"));
  pcsc.Script(FakePcsc::Call::Connect, {SCARD_E_NO_SMARTCARD, SCARD_E_NO_SMARTCARD, SCARD_E_NO_SMARTCARD});
  EXPECT_EQ(Check(slotA), 0);
  EXPECT_EQ(fake.threads.sleeps(), (std::vector<uint32_t>{1000, 1000, 1000}));
  EXPECT_EQ(Log(), (std::vector<std::u16string>{kNoUpgrade, kSeparator}));
}

TEST_F(FirmwareCheckJobTest, TerminalThatNeverOpensIsGivenSixAttemptsAndFivePauses) {
  pcsc.RemoveReader(u"VLT A");
  EXPECT_EQ(Check(slotA), -1);
  EXPECT_EQ(pcsc.count("connect"), 6);
  EXPECT_EQ(fake.threads.sleeps(), std::vector<uint32_t>(5, 1000));
  EXPECT_TRUE(NothingVisible());
  // Only the activity log file says why, once.
  EXPECT_EQ(fake.record.lines(), (std::vector<std::string>{
                                     "failure terminal open failed: VLT A: 0x80100009 (Unknown reader specified.), "
                                     "6 attempts"}));
}

TEST_F(FirmwareCheckJobTest, RunningUpdateToolMeansNothingAtAll) {
  bool existed = false;
  auto tool = fake.mutexes.Create(kToolMutex, true, existed);
  Terminal(u"VLT A", Answer(kTag1, kTag6, "1.0.0.1"));
  EXPECT_EQ(Check(slotA), 0);
  EXPECT_TRUE(NothingVisible());
  EXPECT_TRUE(pcsc.calls().empty());
}

// Mutexes whose first update-tool probe stays open until a second check
// probes too, or until it could have.
class SlowProbeMutexes : public MutexPort {
 public:
  explicit SlowProbeMutexes(MutexPort& inner) : inner_(inner) {}
  std::unique_ptr<NamedMutex> Create(const std::u16string& name, bool initialOwner, bool& alreadyExisted) override {
    auto handle = inner_.Create(name, initialOwner, alreadyExisted);
    if (name == kToolMutex) {
      window.Enter();
      window.Leave();
    }
    return handle;
  }
  testing::ArrivalWindow window;

 private:
  MutexPort& inner_;
};

TEST_F(FirmwareCheckJobTest, TwoTerminalsArrivingTogetherAreBothChecked) {
  SlowProbeMutexes slow(fake.mutexes);
  fake.platform.mutexes = &slow;
  Terminal(u"VLT A", Answer(kTag1, kTag6, "1.0.0.2"));
  Terminal(u"VLT B", Answer(kTag1, kTag6, "1.0.0.2"));
  int resultA = -2;
  std::thread first([&] { resultA = Check(slotA); });
  const int resultB = Check(slotB);
  first.join();
  fake.platform.mutexes = &fake.mutexes;

  EXPECT_EQ(resultA, 0);
  EXPECT_EQ(resultB, 0);
  // The two checks run side by side after their probes: their lines may interleave.
  std::vector<std::u16string> log = Log();
  std::sort(log.begin(), log.end());
  EXPECT_EQ(log, (std::vector<std::u16string>{kSeparator, kSeparator, kNoUpgrade, kNoUpgrade}));
  EXPECT_EQ(Opened(), 2);
  EXPECT_FALSE(fake.mutexes.Exists(kToolMutex));
}

TEST_F(FirmwareCheckJobTest, ModelNameCutByAZeroOrTooShortStopsTheProgram) {
  for (const std::string& tag1 : {std::string("00 01 02 03 04 05 06 07"), std::string("00 01 02 03 04 05 06 07 00 42 43")}) {
    SCOPED_TRACE(tag1);
    const size_t before = fake.ui.boxes().size();
    Terminal(u"VLT A", Answer(tag1, kTag6, "1.0.0.1"));
    CQarxServiceDlg running{fake.platform};  // each row ends a program of its own
    FirmwareCheckJob(FirmwareCheckRequest{&running, &slotA});
    ASSERT_EQ(fake.ui.boxes().size(), before + 1);
    const auto box = fake.ui.boxes().back();
    EXPECT_EQ(box.owner, BoxOwner::None);
    EXPECT_EQ(box.text, u"获取终端固件版本信息失败！\r\n未能完成终端固件版本检查！");
    EXPECT_EQ(box.caption, u"Error");
    EXPECT_EQ(box.style, 0x1000u);  // MB_OK | MB_SYSTEMMODAL
    EXPECT_TRUE(fake.ui.ended());
    EXPECT_TRUE(Log().empty());
  }
  EXPECT_EQ(Opened(), 0);
}

TEST_F(FirmwareCheckJobTest, ShortTagOneLeavesAZeroBeforeTagSix) {
  Config("[A]\nURL=http://update.test/a.exe\n[AB]\nURL=http://update.test/ab.exe\n");
  Terminal(u"VLT A", Answer("00 01 02 03 04 05 06 07 41", kTag6, "1.0.0.1"));
  Check(slotA);
  EXPECT_EQ(dialog.GetPackage(4).URL, u"http://update.test/a.exe");
  Terminal(u"VLT A", Answer("00 01 02 03 04 05 06 07 41 42", kTag6, "1.0.0.1"));
  Check(slotA);
  EXPECT_EQ(dialog.GetPackage(4).URL, u"http://update.test/ab.exe");
  EXPECT_EQ(Log(), (std::vector<std::u16string>{kNoUpgrade, kSeparator, kNoUpgrade, kSeparator}));
}

TEST_F(FirmwareCheckJobTest, TagSixFillsItsBufferWholeAndLongerValuesStayInsideTheBuffers) {
  // Tag 6 is copied whole up to the 64 bytes of its buffer; tag 2, read as
  // text, keeps its last byte for the terminator (a text of 63 '1's is malformed).
  std::string long2;
  for (int i = 0; i < 100; ++i) long2 += "31";
  for (const size_t length : {size_t{63}, size_t{64}, size_t{100}}) {
    SCOPED_TRACE(length);
    const std::string model = "ABC" + std::string(std::min<size_t>(length, 64), 'D');
    Config("[" + model + "]\nURL=http://update.test/" + std::to_string(length) + ".exe\nVersionMajor=1\n"
           "VersionBuild=0\nVersionRevision=0\nVersionMinor=2\n");
    std::string tag6;
    for (size_t i = 0; i < length; ++i) tag6 += "44";  // 'D'
    Terminal(u"VLT A", Tlv(1, kTag1) + Tlv(6, tag6) + Tlv(2, long2) + "9000");
    const size_t boxes = fake.ui.boxes().size();
    EXPECT_EQ(Check(slotA), 0);
    EXPECT_EQ(dialog.GetPackage(4).URL, u"http://update.test/" + FromUtf8(std::to_string(length)) + u".exe");
    EXPECT_EQ(fake.ui.boxes().size(), boxes + 1);  // offered
    ReleaseFirmwareUpdateHandle();
  }
}

TEST_F(FirmwareCheckJobTest, SecondTerminalWhileTheFirstQuestionIsOpenOnlyOpensThePortal) {
  Terminal(u"VLT A", Answer(kTag1, kTag6, "1.0.0.1"));
  Terminal(u"VLT B", Answer("00 01 02 03 04 05 06 07 58 59 5A", "39 39", "0.0.0.1"));  // XYZ99, outdated too
  bool secondChecked = false;
  fake.ui.onBox = [&](const testing::BoxRecord&) {
    if (secondChecked) return;
    secondChecked = true;
    EXPECT_EQ(Check(slotB), 0);  // runs while the first question is open
  };
  fake.ui.QueueAnswers({IDNO});
  EXPECT_EQ(Check(slotA), 0);
  ASSERT_TRUE(secondChecked);
  EXPECT_EQ(Log(), (std::vector<std::u16string>{kUpgrade, kSeparator, kSeparator}));
  EXPECT_EQ(fake.ui.boxes().size(), 1u);
  EXPECT_EQ(Opened(), 2);

  EXPECT_EQ(Check(slotB), 0);  // after the No, a later check can offer again
  EXPECT_EQ(fake.ui.boxes().size(), 2u);
}

TEST_F(FirmwareCheckJobTest, OpenOfferKeepsItsOwnDownloadSettings) {
  Terminal(u"VLT A", Answer(kTag1, kTag6, "1.0.0.1"));
  Terminal(u"VLT B", Answer("00 01 02 03 04 05 06 07 58 59 5A", "39 39", "1.0.0.1"));  // XYZ99, current
  fake.ui.onBox = [&](const testing::BoxRecord&) {
    EXPECT_EQ(Check(slotB), 0);
    EXPECT_EQ(dialog.GetPackage(4).URL, u"http://update.test/abc12.exe");
  };
  fake.ui.QueueAnswers({IDYES});
  Check(slotA);
  EXPECT_EQ(Log(), (std::vector<std::u16string>{kUpgrade, kNoUpgrade, kSeparator, kSeparator}));
  EXPECT_EQ(dialog.GetPackage(4).URL, u"http://update.test/abc12.exe");
  EXPECT_EQ(fake.ui.posted().size(), 1u);
}

TEST_F(FirmwareCheckJobTest, OfferUnderWayElsewhereMeansOnlyTheSeparatorAndThePortal) {
  bool existed = false;
  auto other = fake.mutexes.Create(kUpdateMutex, true, existed);
  Terminal(u"VLT A", Answer(kTag1, kTag6, "1.0.0.1"));
  EXPECT_EQ(Check(slotA), 0);
  EXPECT_EQ(Log(), std::vector<std::u16string>{kSeparator});
  EXPECT_TRUE(fake.ui.boxes().empty());
  EXPECT_EQ(g_hFirmwareUpdateMutex, nullptr);
  EXPECT_EQ(Opened(), 1);
}

TEST_F(FirmwareCheckJobTest, DialogStartsACheckOnlyForReaderArrived) {
  Terminal(u"VLT A", Answer(kTag1, kTag6, "1.0.0.2"));
  for (uintptr_t code : {1u, 2u, 3u, 4u}) dialog.WindowProc(WM_READER_EVENT, code, reinterpret_cast<intptr_t>(&slotA));
  EXPECT_EQ(fake.threads.started(), 0);
  // Another program's post: no slot of the table, or one never claimed.
  ReaderSlot elsewhere;
  elsewhere.readerName = u"VLT A";
  for (intptr_t bogus : {intptr_t{0}, intptr_t{5}, reinterpret_cast<intptr_t>(&elsewhere),
                         reinterpret_cast<intptr_t>(&g_readerSlots[31]), reinterpret_cast<intptr_t>(&slotA) + 1})
    dialog.WindowProc(WM_READER_EVENT, 0, bogus);
  EXPECT_EQ(fake.threads.started(), 0);
  dialog.WindowProc(WM_READER_EVENT, 0, reinterpret_cast<intptr_t>(&slotA));
  EXPECT_EQ(fake.threads.started(), 1);
  EXPECT_EQ(Log(), (std::vector<std::u16string>{kNoUpgrade, kSeparator}));
}

}  // namespace
}  // namespace qarx
