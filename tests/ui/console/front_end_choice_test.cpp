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
  constexpr auto W = FrontEndKind::Win32;
  const struct {
    const char* value;
    bool display;
    FrontEndKind built, kind;
    size_t warnings;
  } cases[] = {
      {nullptr, true, Q, Q, 0},      {nullptr, false, Q, C, 0},     {nullptr, true, C, C, 0},
      {"", true, Q, Q, 0},           {"console", true, Q, C, 0},    {"qt", false, Q, Q, 0},
      {"qt", true, C, C, 1},         {"gtk", true, Q, Q, 1},        {"gtk", false, Q, C, 1},
      {nullptr, true, W, W, 0},      {"win32", false, W, W, 0},     {"console", true, W, C, 0},
      {"win32", true, Q, C, 1},      {"qt", true, W, C, 1},
  };
  for (const auto& c : cases) {
    g_warnings.clear();
    EXPECT_EQ(ChooseFrontEnd(c.value, c.display, c.built, Warn), c.kind)
        << (c.value ? c.value : "(unset)") << " " << c.display << static_cast<int>(c.built);
    EXPECT_EQ(g_warnings.size(), c.warnings);
  }
}

}  // namespace
}  // namespace qarx::service
