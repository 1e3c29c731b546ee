#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "main/front_end.h"

namespace qarx::service {
namespace {

std::vector<std::string> g_warnings;
void Warn(std::string_view line) { g_warnings.emplace_back(line); }

TEST(FrontEndChoice, FollowsQarxUiElseTheDisplayAndTheBuild) {
  constexpr auto C = FrontEndKind::Console;
  constexpr auto Q = FrontEndKind::Qt;
  const struct {
    const char* value;
    bool display, qtBuilt;
    FrontEndKind kind;
    size_t warnings;
  } cases[] = {
      {nullptr, true, true, Q, 0},      {nullptr, false, true, C, 0},
      {nullptr, true, false, C, 0},     {"", true, true, Q, 0},
      {"console", true, true, C, 0},    {"qt", false, true, Q, 0},
      {"qt", true, false, C, 1},        {"gtk", true, true, Q, 1},
      {"gtk", false, true, C, 1},
  };
  for (const auto& c : cases) {
    g_warnings.clear();
    EXPECT_EQ(ChooseFrontEnd(c.value, c.display, c.qtBuilt, Warn), c.kind)
        << (c.value ? c.value : "(unset)") << " " << c.display << c.qtBuilt;
    EXPECT_EQ(g_warnings.size(), c.warnings);
  }
}

}  // namespace
}  // namespace qarx::service
