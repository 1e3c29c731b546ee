// The activity log's rotation over Windows' files while another program
// follows the file without sharing it for deleting, as a log viewer does:
// nothing is lost and nothing older is touched until it lets go.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "ui/events/activity_log.h"
#include "win32_test_support.h"

namespace qarx::win32 {
namespace {

std::string Narrow(const std::wstring& ascii) { return std::string(ascii.begin(), ascii.end()); }

// The texts of the log entries in a file, oldest first.
std::vector<std::string> Entries(const std::wstring& path) {
  std::vector<std::string> texts;
  std::istringstream lines(test::ReadAll(path));
  for (std::string line; std::getline(lines, line);) {
    const size_t at = line.find(" log ");
    if (at != std::string::npos) texts.push_back(line.substr(at + 5, line.find_last_not_of('\r') - at - 4));
  }
  return texts;
}

TEST(ActivityLogWin32, RotationWaitsForAReaderThatHoldsTheFile) {
  test::ScratchFolder folder(L"qarx-actlog");
  const std::wstring live = folder.path() + L"activity.log";
  events::ActivityLog log(Narrow(live), events::MakeLogFile(), {200, 3, 1024});
  int next = 0;
  std::vector<std::string> all;
  auto record = [&](int count) {
    for (int i = 0; i < count; ++i) {
      all.push_back("entry " + std::to_string(++next));
      log.Record("log", events::EventFields().Str("text", all.back()));
    }
    ASSERT_TRUE(log.Flush(std::chrono::seconds(10)));
  };
  auto history = [&] {
    std::vector<std::string> texts;
    for (const wchar_t* suffix : {L".3", L".2", L".1", L""})
      for (const std::string& text : Entries(live + suffix)) texts.push_back(text);
    return texts;
  };

  record(6);  // one rotation: .1 and the live file
  const std::string first = test::ReadAll(live + L".1");
  ASSERT_FALSE(first.empty());
  {
    const Handle reader(CreateFileW(live.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(reader);
    record(8);
    EXPECT_EQ(test::ReadAll(live + L".1"), first) << "nothing older moves while the live file is held";
    EXPECT_GT(test::ReadAll(live).size(), 200u) << "the live file grows instead";
    EXPECT_EQ(history(), all);
  }
  record(1);  // let go: the next entry rotates
  EXPECT_EQ(test::ReadAll(live + L".2"), first);
  EXPECT_EQ(Entries(live), std::vector<std::string>{all.back()});
  EXPECT_EQ(history(), all);
}

}  // namespace
}  // namespace qarx::win32
