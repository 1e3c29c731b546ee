#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <semaphore>
#include <set>
#include <sstream>
#include <thread>

#include "ui/events/activity_entry.h"
#include "ui/events/activity_log.h"
#include "platform/activity_log_path.h"

namespace qarx::events {
namespace {

namespace fs = std::filesystem;
using std::chrono::seconds;

// The entries without their times; the times checked and never going back.
std::vector<std::string> Entries(std::istream& in) {
  static const std::regex entry(R"(^(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d) (.*)$)");
  std::vector<std::string> out;
  std::string line, last;
  while (std::getline(in, line)) {
    std::smatch m;
    EXPECT_TRUE(std::regex_match(line, m, entry)) << line;
    if (m.empty()) continue;
    EXPECT_GE(m[1].str(), last);
    last = m[1];
    out.push_back(m[2]);
  }
  return out;
}

TEST(ActivityLogPath, QarxLogThenTheUsersOwnFolder) {
  const struct {
    std::map<std::string, std::string> env;
    PathStyle style;
    std::string path;
  } cases[] = {
      {{{"QARX_LOG", "/var/x.log"}, {"HOME", "/home/u"}}, PathStyle::Posix, "/var/x.log"},
      {{{"QARX_LOG", "-"}, {"HOME", "/home/u"}}, PathStyle::Posix, ""},
      {{{"QARX_LOG", ""}, {"HOME", "/home/u"}}, PathStyle::Posix, "/home/u/.local/state/qarx/activity.log"},
      {{{"XDG_STATE_HOME", "/s"}, {"HOME", "/home/u"}}, PathStyle::Posix, "/s/qarx/activity.log"},
      {{{"XDG_STATE_HOME", "rel"}, {"HOME", "/home/u"}}, PathStyle::Posix, "/home/u/.local/state/qarx/activity.log"},
      {{}, PathStyle::Posix, ""},
      {{{"LOCALAPPDATA", "C:\\Users\\u\\AppData\\Local"}, {"HOME", "/h"}}, PathStyle::Windows,
       "C:\\Users\\u\\AppData\\Local\\Qarx\\activity.log"},
      {{{"HOME", "/h"}}, PathStyle::Windows, ""},
  };
  for (const auto& c : cases) {
    const EnvLookup lookup = [&](std::string_view name) -> std::optional<std::string> {
      const auto it = c.env.find(std::string(name));
      if (it == c.env.end()) return std::nullopt;
      return it->second;
    };
    EXPECT_EQ(ActivityLogPath(lookup, c.style), c.path) << c.path;
  }
}

TEST(ActivityEntry, KeptKindsOnOneLineWithTheirFields) {
  const struct {
    std::string ev;
    EventFields fields;
    std::optional<std::string> entry;
  } cases[] = {
      {"log", EventFields().Str("text", u"安装信息>>控件:控件安装正常!"), "log 安装信息>>控件:控件安装正常!"},
      {"status", EventFields().Str("text", "a\r\nb\\r\tc\x01"), R"(status a\r\nb\\r\tc\u0001)"},
      {"prompt",
       EventFields().Int("id", 3).Str("caption", "Veltrane服务程序提示").Str("text", " 未安装\r\n是否?").Str("buttons", "yesno"),
       R"(prompt #3 [Veltrane服务程序提示]  未安装\r\n是否? (yesno))"},
      {"answer", EventFields().Int("id", 3).Str("answer", "yes"), "answer #3 yes"},
      {"launch", EventFields().Str("path", "/tmp/a b.exe").Bool("started", true), "launch /tmp/a b.exe"},
      {"launch", EventFields().Str("path", "x").Bool("started", false), "launch x (not started)"},
      {"open", EventFields().Str("url", "http://portal.test"), "open http://portal.test"},
      {"warning", EventFields().Str("text", "qarx-service: no windows\n"), "warning qarx-service: no windows\\n"},
      {"failure", EventFields().Str("text", "download 3 failed: -5 read failed after 1.2 of 3.0 MiB (reset)"),
       "failure download 3 failed: -5 read failed after 1.2 of 3.0 MiB (reset)"},
      {"recovery", EventFields().Str("text", "configuration fetched after 4 failures"),
       "recovery configuration fetched after 4 failures"},
      {"progress", EventFields().Int("pos", 5), std::nullopt},
      {"window", EventFields().Int("show", 0), std::nullopt},
      {"exit", EventFields(), std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ActivityEntry(c.ev, c.fields), c.entry) << c.ev;
}

TEST(ActivityEntry, TimestampsAreIsoLocalTimeWithMillisecondsAndOffset) {
  std::tm t{};
  t.tm_year = 125, t.tm_mon = 2, t.tm_mday = 4, t.tm_hour = 9, t.tm_min = 5, t.tm_sec = 7;
  EXPECT_EQ(FormatTimestamp(t, 45, 8 * 3600), "2025-03-04T09:05:07.045+08:00");
  EXPECT_EQ(FormatTimestamp(t, 999, -(3 * 3600 + 1800)), "2025-03-04T09:05:07.999-03:30");
}

class ActivityFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qarx-activity-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    path_ = (dir_ / "state" / "qarx" / "activity.log").string();
  }
  void TearDown() override {
    fs::permissions(dir_, fs::perms::owner_all);
    fs::remove_all(dir_);
  }

  static std::vector<std::string> Entries(const std::string& path) {
    std::ifstream in(path);
    return qarx::events::Entries(in);
  }

  std::unique_ptr<ActivityLog> Log(ActivityLogLimits limits = {}) {
    auto log = std::make_unique<ActivityLog>(path_, MakeLogFile(), limits);
    log->onError = [this](std::string_view line) { errors_.emplace_back(line); };
    return log;
  }

  static void Line(ActivityLog& log, const std::string& text) { log.Record("log", EventFields().Str("text", text)); }

  // Entries "log N" followed by a kilobyte, from next on.
  static void Numbered(ActivityLog& log, int& next, int count) {
    for (int i = 0; i < count; ++i) Line(log, std::to_string(next++) + " " + std::string(1000, 'x'));
  }

  // The N of every entry "log N ..." in the log's files, the oldest file
  // first (path.0 is one that has just been rotated).
  std::vector<int> History() const {
    std::vector<int> numbers;
    for (const char* suffix : {".3", ".2", ".1", ".0", ""})
      for (const auto& entry : Entries(path_ + suffix)) numbers.push_back(std::stoi(entry.substr(4)));
    return numbers;
  }
  // first, first + 1, ... last.
  static std::vector<int> Consecutive(int first, int last) {
    std::vector<int> numbers;
    for (int n = first; n <= last; ++n) numbers.push_back(n);
    return numbers;
  }

  fs::path dir_;
  std::string path_;
  std::vector<std::string> errors_;
};

TEST_F(ActivityFile, KeptEventsInOrderInAPrivateFileAndRepeatedStatusOnce) {
  {
    auto log = Log();
    Line(*log, "a");
    for (int i = 0; i < 3; ++i) log->Record("status", EventFields().Str("text", "正在下载"));
    log->Record("progress", EventFields().Int("pos", 1));
    log->Record("status", EventFields().Str("text", "完成"));
    log->Record("status", EventFields().Str("text", "正在下载"));
    log->Record("open", EventFields().Str("url", "u"));
  }
  EXPECT_EQ(Entries(path_),
            (std::vector<std::string>{"log a", "status 正在下载", "status 完成", "status 正在下载", "open u"}));
  EXPECT_EQ(fs::status(path_).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(fs::status(dir_ / "state" / "qarx").permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_TRUE(errors_.empty());
}

TEST_F(ActivityFile, NoEntryNoFileAndNoThread) {
  {
    auto log = Log();
    log->Record("window", EventFields().Int("show", 0));
    EXPECT_TRUE(log->Flush(seconds(10)));
  }
  EXPECT_FALSE(fs::exists(dir_ / "state"));
}

TEST_F(ActivityFile, ConcurrentJobsWriteWholeLinesInTheirOwnOrder) {
  constexpr int kThreads = 4, kEach = 500;
  {
    ActivityLogLimits limits;
    limits.queueEntries = kThreads * kEach;  // nothing dropped
    auto log = Log(limits);
    std::vector<std::thread> jobs;
    for (int t = 0; t < kThreads; ++t)
      jobs.emplace_back([&log, t] {
        for (int i = 0; i < kEach; ++i) Line(*log, std::string(1, char('a' + t)) + std::to_string(i) + std::string(200, char('a' + t)));
      });
    for (auto& job : jobs) job.join();
  }
  const auto entries = Entries(path_);
  ASSERT_EQ(entries.size(), size_t{kThreads * kEach});
  std::map<char, int> next;
  const std::regex whole(R"(log ([a-d])(\d+)\1{200})");
  for (const auto& entry : entries) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(entry, m, whole)) << entry;
    EXPECT_EQ(std::stoi(m[2]), next[m[1].str()[0]]++);
  }
}

TEST_F(ActivityFile, RotatesBeforeOneMebibyteAndKeepsThreeOldFiles) {
  constexpr int kEntries = 4600;  // about 4.5 MiB in 1 KiB entries
  {
    auto log = Log();
    for (int next = 0; next < kEntries;) {
      Numbered(*log, next, std::min(500, kEntries - next));
      ASSERT_TRUE(log->Flush(seconds(30)));  // the queue never overflows
    }
  }
  for (const char* suffix : {".3", ".2", ".1", ""}) {
    const std::string file = path_ + suffix;
    ASSERT_TRUE(fs::exists(file)) << file;
    EXPECT_LE(fs::file_size(file), 1u << 20) << file;
  }
  EXPECT_FALSE(fs::exists(path_ + ".4"));
  EXPECT_FALSE(fs::exists(path_ + ".0"));
  EXPECT_GT(fs::file_size(path_ + ".1"), (1u << 20) - 1100);  // rotated at the bound, not before
  // The newest entries, none missing.
  const auto history = History();
  ASSERT_GT(history.size(), 3000u);
  EXPECT_EQ(history, Consecutive(kEntries - static_cast<int>(history.size()), kEntries - 1));
}

// The real file, except that the files another program holds open without
// sharing them for deleting (a viewer, on Windows) cannot be renamed, nor
// replaced.
class HeldFiles final : public LogFile {
 public:
  explicit HeldFiles(const std::set<std::string>& held) : held_(held) {}
  bool Open(const std::string& path, int64_t& size, std::string& error) override {
    return file_->Open(path, size, error);
  }
  bool Append(std::string_view bytes, std::string& error) override { return file_->Append(bytes, error); }
  void Close() override { file_->Close(); }
  bool Exists(const std::string& path) override { return file_->Exists(path); }
  bool Rename(const std::string& from, const std::string& to) override {
    return !held_.contains(from) && !held_.contains(to) && file_->Rename(from, to);
  }

 private:
  const std::set<std::string>& held_;
  const std::unique_ptr<LogFile> file_ = MakeLogFile();
};

TEST_F(ActivityFile, AHeldFileKeepsTheLiveOneGrowingUntilLetGoAndNothingIsLost) {
  ActivityLogLimits limits;
  limits.maxBytes = 4400;  // four entries to a file
  const struct {
    std::string held;
    int oldestWhileHeld, oldestAfter;  // the oldest entry kept
  } cases[] = {{"", 0, 4}, {".1", 4, 8}, {".3", 0, 8}};
  for (const auto& c : cases) {
    SCOPED_TRACE("held: activity.log" + c.held);
    fs::remove_all(fs::path(path_).parent_path());
    std::set<std::string> held;
    ActivityLog log(path_, std::make_unique<HeldFiles>(held), limits);
    int next = 0;
    Numbered(log, next, 16);  // .3, .2, .1 and the live file full
    ASSERT_TRUE(log.Flush(seconds(10)));
    held.insert(path_ + c.held);
    Numbered(log, next, 12);
    ASSERT_TRUE(log.Flush(seconds(10)));
    EXPECT_EQ(History(), Consecutive(c.oldestWhileHeld, 27));

    held.clear();
    Numbered(log, next, 1);
    ASSERT_TRUE(log.Flush(seconds(10)));
    EXPECT_EQ(History(), Consecutive(c.oldestAfter, 28));
    EXPECT_FALSE(fs::exists(path_ + ".0"));
  }
}

TEST_F(ActivityFile, ARemovedFileIsMadeAgainAndLinksAndOtherUsersFilesAreRefused) {
  auto log = Log();
  Line(*log, "first");
  ASSERT_TRUE(log->Flush(seconds(10)));
  fs::remove(path_);
  Line(*log, "second");
  ASSERT_TRUE(log->Flush(seconds(10)));
  EXPECT_EQ(Entries(path_), std::vector<std::string>{"log second"});
  EXPECT_TRUE(errors_.empty());

  fs::remove(path_);
  fs::create_symlink(dir_ / "elsewhere", path_);
  Line(*log, "third");
  ASSERT_TRUE(log->Flush(seconds(10)));
  EXPECT_FALSE(fs::exists(dir_ / "elsewhere"));
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_NE(errors_[0].find(path_), std::string::npos);
  if (geteuid() != 0) GTEST_SKIP() << "files of another user need root to make";
  fs::remove(path_);
  std::ofstream(path_) << "";
  ASSERT_EQ(chown(path_.c_str(), 65534, 65534), 0);
  Line(*log, "fourth");
  ASSERT_TRUE(log->Flush(seconds(10)));
  EXPECT_EQ(fs::file_size(path_), 0u);
  fs::remove(path_);
  ASSERT_EQ(chown((dir_ / "state" / "qarx").c_str(), 65534, 65534), 0);
  Line(*log, "fifth");
  ASSERT_TRUE(log->Flush(seconds(10)));
  EXPECT_FALSE(fs::exists(path_));
  EXPECT_EQ(errors_.size(), 1u);  // reported once
}

// A file in memory whose first append waits until the test lets it go.
class StuckFile : public LogFile {
 public:
  StuckFile(std::string& text, std::binary_semaphore& entered, std::binary_semaphore& go)
      : text_(text), entered_(entered), go_(go) {}
  bool Open(const std::string&, int64_t& size, std::string&) override {
    size = 0;
    return true;
  }
  bool Append(std::string_view bytes, std::string&) override {
    if (std::exchange(first_, false)) {
      entered_.release();
      go_.acquire();
    }
    text_ += bytes;
    return true;
  }
  void Close() override {}
  bool Exists(const std::string&) override { return false; }
  bool Rename(const std::string&, const std::string&) override { return true; }

 private:
  std::string& text_;
  std::binary_semaphore &entered_, &go_;
  bool first_ = true;
};

TEST(ActivityQueue, AStuckFileNeverHoldsUpRecordingAndTheDropsAreCounted) {
  std::string text;
  std::binary_semaphore entered{0}, go{0};
  ActivityLogLimits limits;
  limits.queueEntries = 2;
  ActivityLog log("/x/activity.log", std::make_unique<StuckFile>(text, entered, go), limits);
  const auto line = [&](const char* t) { log.Record("log", EventFields().Str("text", t)); };
  line("1");
  entered.acquire();
  for (const char* t : {"2", "3", "4", "5", "6"}) line(t);
  go.release();
  ASSERT_TRUE(log.Flush(seconds(10)));
  line("7");
  ASSERT_TRUE(log.Flush(seconds(10)));
  std::istringstream in(text);
  EXPECT_EQ(Entries(in), (std::vector<std::string>{"log 1", "log 2", "log 3", "dropped 3 entries", "log 7"}));
}

}  // namespace
}  // namespace qarx::events
